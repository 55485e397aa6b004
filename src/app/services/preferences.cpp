#include "preferences.h"

#include <algorithm>
#include <cmath>

namespace App {

Preferences &Preferences::shared()
{
    static Preferences *instance = new Preferences; // Lives as long as the process.
    return *instance;
}

Preferences::Preferences() = default;

void Preferences::store(const QString &key, const QVariant &value)
{
    if (m_settings.contains(key) && m_settings.value(key) == value)
        return;
    m_settings.setValue(key, value);
    emit changed(key);
}

QString Preferences::themeId() const
{
    return m_settings.value(themeIdKey).toString();
}

void Preferences::setThemeId(const QString &id)
{
    store(themeIdKey, id);
}

double Preferences::fontSize() const
{
    bool ok = false;
    const double points = m_settings.value(fontSizeKey, defaultFontSize).toDouble(&ok);
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
    return m_settings.value(showLineNumbersKey, false).toBool();
}

void Preferences::setShowLineNumbers(bool on)
{
    store(showLineNumbersKey, on);
}

bool Preferences::wordWrap() const
{
    return m_settings.value(wordWrapKey, true).toBool();
}

void Preferences::setWordWrap(bool on)
{
    store(wordWrapKey, on);
}

QString Preferences::lastOpenPath() const
{
    return m_settings.value(lastOpenPathKey, QString()).toString();
}

void Preferences::setLastOpenPath(const QString &path)
{
    store(lastOpenPathKey, path);
}

bool Preferences::showCounts() const
{
    return m_settings.value(showCountsKey, true).toBool();
}

void Preferences::setShowCounts(bool on)
{
    store(showCountsKey, on);
}

bool Preferences::sessionEnded() const
{
    return m_settings.value(sessionEndedKey, false).toBool();
}

void Preferences::setSessionEnded(bool ended)
{
    store(sessionEndedKey, ended);
}

} // namespace App
