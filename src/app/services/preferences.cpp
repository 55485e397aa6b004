#include "preferences.h"

#include "app/services/statefile.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace App {

namespace {

// The settings file QSettings(organization, application) would read first. QSettings keeps the
// folder (QSettings::setPath, as tests use it) to itself; a format of our own, whose files never
// exist, names it without opening anything.
QString settingsFilePath()
{
    static const QString extension = QStringLiteral("corvane-settings-location");
    static const QSettings::Format locator = QSettings::registerFormat(
        extension, [](QIODevice &, QSettings::SettingsMap &) { return true; },
        [](QIODevice &, const QSettings::SettingsMap &) { return true; });
    const QSettings located(locator, QSettings::UserScope, QCoreApplication::organizationName(),
                            QCoreApplication::applicationName());
    QString path = located.fileName();
    path.chop(extension.size());
    return path + QLatin1String("conf");
}

} // namespace

Preferences &Preferences::shared()
{
    static Preferences *instance = new Preferences; // Lives as long as the process.
    return *instance;
}

Preferences::Preferences()
{
    const QString path = settingsFilePath();
    const StateFile::Status status = StateFile::inspect(path);
    // Only this one file: QSettings(organization, application) would also read the
    // organization's file and the system's, which nothing here has looked at.
    if (status != StateFile::Status::NotRegular && status != StateFile::Status::TooLarge) {
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        return;
    }
    // The folder goes with the process (mkdtemp makes it 0700).
    static QTemporaryDir session;
    m_settings = std::make_unique<QSettings>(session.filePath(QStringLiteral("settings.conf")), QSettings::IniFormat);
    qWarning("%s is not a regular file of at most 1 MiB: it is left as it is, settings start from the defaults "
             "and are kept for this session only.",
             qPrintable(path));
}

void Preferences::store(const QString &key, const QVariant &value)
{
    if (m_settings->contains(key) && m_settings->value(key) == value)
        return;
    m_settings->setValue(key, value);
    emit changed(key);
}

QString Preferences::themeId() const
{
    const QString stored = m_settings->value(themeIdKey).toString();
    return stored.isEmpty() ? m_defaultThemeId : stored;
}

bool Preferences::hasStoredThemeId() const
{
    return !m_settings->value(themeIdKey).toString().isEmpty();
}

void Preferences::setDefaultThemeId(const QString &id)
{
    const QString before = themeId();
    m_defaultThemeId = id;
    if (themeId() != before)
        emit changed(themeIdKey);
}

void Preferences::setThemeId(const QString &id)
{
    store(themeIdKey, id);
}

QString Preferences::fontFamily() const
{
    return m_settings->value(fontFamilyKey).toString();
}

void Preferences::setFontFamily(const QString &family)
{
    store(fontFamilyKey, family);
}

double Preferences::fontSize() const
{
    bool ok = false;
    const double points = m_settings->value(fontSizeKey, defaultFontSize).toDouble(&ok);
    if (!ok || !std::isfinite(points))
        return defaultFontSize;
    return std::clamp(points, minimumFontSize, maximumFontSize);
}

void Preferences::setFontSize(double points)
{
    store(fontSizeKey, std::clamp(points, minimumFontSize, maximumFontSize));
}

bool Preferences::showLineNumbers() const
{
    return m_settings->value(showLineNumbersKey, false).toBool();
}

void Preferences::setShowLineNumbers(bool on)
{
    store(showLineNumbersKey, on);
}

bool Preferences::wordWrap() const
{
    return m_settings->value(wordWrapKey, true).toBool();
}

void Preferences::setWordWrap(bool on)
{
    store(wordWrapKey, on);
}

QString Preferences::lastOpenPath() const
{
    return m_settings->value(lastOpenPathKey, QString()).toString();
}

void Preferences::setLastOpenPath(const QString &path)
{
    store(lastOpenPathKey, path);
}

bool Preferences::showCounts() const
{
    return m_settings->value(showCountsKey, true).toBool();
}

void Preferences::setShowCounts(bool on)
{
    store(showCountsKey, on);
}

bool Preferences::sessionEnded() const
{
    return m_settings->value(sessionEndedKey, false).toBool();
}

void Preferences::setSessionEnded(bool ended)
{
    store(sessionEndedKey, ended);
}

} // namespace App
