#include "updatechecker.h"

#include "app/services/preferences.h"
#include "base/timer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <charconv>
#include <cstdint>

#ifndef CORVANE_PRODUCT_HOST
#error "CORVANE_PRODUCT_HOST is set by the build"
#endif
#ifndef CORVANE_UPDATE_CHECK
#error "CORVANE_UPDATE_CHECK is set by the build"
#endif

namespace App {

namespace {

// Like the default time-out of the HTTP session on macOS; Qt has none, and a server that never
// answers would otherwise hold a reply for as long as the process runs.
constexpr int transferTimeoutMs = 60'000;

// An optional sign and one or more ASCII digits that fit in 64 bits; anything else is 0.
std::int64_t versionNumber(QStringView piece)
{
    QByteArray latin = piece.toLatin1();
    qsizetype start = 0;
    if (!latin.isEmpty() && (latin[0] == '+' || latin[0] == '-'))
        start = 1;
    if (start == latin.size())
        return 0;
    for (qsizetype i = start; i < latin.size(); ++i) {
        if (latin[i] < '0' || latin[i] > '9')
            return 0;
    }
    // from_chars takes a minus but not a plus.
    const char *first = latin.constData() + (latin[0] == '+' ? 1 : 0);
    const char *last = latin.constData() + latin.size();
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return 0;
    return value;
}

QList<std::int64_t> versionNumbers(const QString &text)
{
    QList<std::int64_t> numbers;
    for (const QStringView piece : QStringView(text).split(u'.', Qt::SkipEmptyParts))
        numbers.append(versionNumber(piece));
    return numbers;
}

struct VersionPayload {
    QString version;
    QString url;
};

// The document must be an object with text under "version" and "url"; "notes", when present
// and not null, must be text too.
std::optional<VersionPayload> decodePayload(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue notes = object.value(QLatin1String("notes"));
    if (!version.isString() || !url.isString() || !UpdateChecker::isValidVersion(version.toString()))
        return std::nullopt;
    if (!notes.isUndefined() && !notes.isNull() && !notes.isString())
        return std::nullopt;
    return VersionPayload{version.toString(), url.toString()};
}

} // namespace

UpdateChecker::Site UpdateChecker::productSite()
{
    const QString host = QStringLiteral(CORVANE_PRODUCT_HOST).toLower();
    return Site{QUrl(QStringLiteral("https://%1/version.json").arg(host)),
                QUrl(QStringLiteral("https://%1/").arg(host)), host};
}

QString UpdateChecker::applicationVersion()
{
#ifdef CORVANE_VERSION
    const QString version = QStringLiteral(CORVANE_VERSION);
    if (!version.isEmpty())
        return version;
#endif
    return QStringLiteral("0.1");
}

bool UpdateChecker::isEnabled()
{
    return CORVANE_UPDATE_CHECK;
}

UpdateChecker &UpdateChecker::shared()
{
    static UpdateChecker *instance =
        new UpdateChecker(Preferences::shared().settings(), productSite(), applicationVersion()); // Lives as long as the process.
    return *instance;
}

UpdateChecker::UpdateChecker(QSettings &settings, Site site, QString currentVersion, Clock clock, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_site(std::move(site))
    , m_currentVersion(std::move(currentVersion))
    , m_clock(std::move(clock))
{
    // A version remembered by an earlier build with the check is not shown by one without: the
    // package manager decides what is current.
    if (!isEnabled())
        return;
    // A remembered version that is no longer newer (the user has updated since) is not shown;
    // its keys stay until the next successful check.
    const QVariant stored = m_settings.value(availableVersionKey);
    if (stored.typeId() != QMetaType::QString || !isValidVersion(stored.toString())
        || !isNewer(stored.toString(), m_currentVersion))
        return;
    std::optional<QUrl> url;
    const QVariant storedURL = m_settings.value(releaseURLKey);
    if (storedURL.typeId() == QMetaType::QString)
        url = sanitized(storedURL.toString());
    m_availableVersion = stored.toString();
    m_releaseURL = url.value_or(m_site.fallbackURL);
}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::checkIfDue()
{
    if (!isEnabled())
        return;
    bool ok = false;
    double last = m_settings.value(lastCheckKey, 0.0).toDouble(&ok);
    if (!ok)
        last = 0;
    if (m_clock() - last < checkInterval)
        return;
    QMetaObject::invokeMethod(this, &UpdateChecker::check, Qt::QueuedConnection);
}

void UpdateChecker::check()
{
#if !CORVANE_UPDATE_CHECK
    // Compiled out, so that no code path of this build can reach the network.
    QMetaObject::invokeMethod(this, [this] { emit checked(false); }, Qt::QueuedConnection);
#else
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(m_site.endpoint);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maximumPayloadSize)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
    // The transfer time-out only measures the pauses between bytes: a byte every few seconds
    // would hold the reply for ever. This bounds the whole check; the reply takes the timer
    // with it when it ends first.
    Base::Timer::singleShot(int(m_checkDeadline.count()), reply, [reply] { reply->abort(); });
#endif
}

void UpdateChecker::finish(QNetworkReply *reply)
{
    reply->deleteLater();
    emit checked(handle(reply));
}

bool UpdateChecker::handle(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
        return false;
    const QByteArray body = reply->read(maximumPayloadSize + 1);
    if (body.size() > maximumPayloadSize)
        return false;
    const auto payload = decodePayload(body);
    if (!payload)
        return false;

    m_settings.setValue(lastCheckKey, m_clock());
    if (isNewer(payload->version, m_currentVersion)) {
        const QUrl url = sanitized(payload->url).value_or(m_site.fallbackURL);
        publish(payload->version, url);
        m_settings.setValue(availableVersionKey, payload->version);
        m_settings.setValue(releaseURLKey, url.toString(QUrl::FullyEncoded));
    } else {
        publish(std::nullopt, std::nullopt);
        m_settings.remove(availableVersionKey);
        m_settings.remove(releaseURLKey);
    }
    return true;
}

void UpdateChecker::publish(std::optional<QString> version, std::optional<QUrl> url)
{
    if (version == m_availableVersion && url == m_releaseURL)
        return;
    m_availableVersion = std::move(version);
    m_releaseURL = std::move(url);
    emit availabilityChanged();
}

bool UpdateChecker::isNewer(const QString &remote, const QString &current)
{
    const QList<std::int64_t> a = versionNumbers(remote);
    const QList<std::int64_t> b = versionNumbers(current);
    const qsizetype length = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < length; ++i) {
        const std::int64_t x = i < a.size() ? a[i] : 0;
        const std::int64_t y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

bool UpdateChecker::isValidVersion(QStringView text)
{
    constexpr int maximumNumbers = 4;
    constexpr int maximumDigits = 6;
    int numbers = 1;
    int digits = 0;
    for (const QChar c : text) {
        if (c == u'.') {
            if (digits == 0 || ++numbers > maximumNumbers)
                return false;
            digits = 0;
        } else if (c >= u'0' && c <= u'9') {
            if (++digits > maximumDigits)
                return false;
        } else {
            return false;
        }
    }
    return digits > 0;
}

std::optional<QUrl> UpdateChecker::sanitized(const QString &text) const
{
    return sanitized(text, m_site.domain);
}

std::optional<QUrl> UpdateChecker::sanitized(const QString &text, const QString &domain)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("https"))
        return std::nullopt;
    const QString host = url.host().toLower();
    const QString wanted = domain.toLower();
    if (host.isEmpty() || wanted.isEmpty())
        return std::nullopt;
    if (host != wanted && !host.endsWith(QLatin1Char('.') + wanted))
        return std::nullopt;
    return url;
}

} // namespace App
