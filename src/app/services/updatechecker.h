#pragma once

#include "app/services/clock.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace App {

// Finds out, at most once every six hours, whether a newer version has been published, from a
// small JSON document on the product web site ({"version", "url", "notes"}; see isValidVersion
// for the versions accepted). A newer version is
// published as `availableVersion` with its download page `releaseURL`, and remembered in the
// settings so it shows again at the next start without asking the network. Failures of any
// kind are silent and leave everything as it was. Main thread only. A build without the check
// (CORVANE_UPDATE_CHECK off, as distribution packages are built) never asks the network and
// never publishes a version.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    static inline const QString lastCheckKey = QStringLiteral("UpdateChecker.lastCheck");
    static inline const QString availableVersionKey = QStringLiteral("UpdateChecker.availableVersion");
    static inline const QString releaseURLKey = QStringLiteral("UpdateChecker.releaseURL");
    // Seconds between two checks.
    static constexpr double checkInterval = 21600;
    // A version document larger than this is not one; the check fails.
    static constexpr qint64 maximumPayloadSize = 1 << 20;
    // A check not over by then is abandoned and fails, however steadily the server trickles.
    static constexpr std::chrono::milliseconds defaultCheckDeadline{30'000};

    // Where the version document lives and which download addresses are accepted.
    struct Site {
        QUrl endpoint;    // the version document
        QUrl fallbackURL; // published when the document's own address is not accepted
        QString domain;   // download addresses must be HTTPS on this host or a subdomain of it
    };
    // https://HOST/version.json and https://HOST/ with HOST the build's CORVANE_PRODUCT_HOST.
    static Site productSite();
    // This build's version (the project version), "0.1" when none was compiled in.
    static QString applicationVersion();
    // Whether this build checks for updates at all (the CMake option CORVANE_UPDATE_CHECK).
    static bool isEnabled();

    // The one checker of the process, over Preferences::shared().settings().
    static UpdateChecker &shared();

    // Publishes what `settings` remember from an earlier check when that version is still newer
    // than `currentVersion` (and the build checks for updates).
    UpdateChecker(QSettings &settings, Site site, QString currentVersion, Clock clock = systemClock,
                  QObject *parent = nullptr);
    ~UpdateChecker() override;

    // The newer version's text, or nothing when the running version is current.
    std::optional<QString> availableVersion() const { return m_availableVersion; }
    // Its download page; set exactly when availableVersion() is.
    std::optional<QUrl> releaseURL() const { return m_releaseURL; }

    // Starts a check at the next turn of the event loop when the last successful one is
    // checkInterval seconds old or more (or there was none).
    void checkIfDue();
    // Fetches the version document now (plain GET); `checked` tells when it is over, at the
    // latest checkDeadline() later (on Base::Timer's clock). Without the check in the build,
    // `checked(false)` follows at once and nothing is fetched.
    void check();
    std::chrono::milliseconds checkDeadline() const { return m_checkDeadline; }
    void setCheckDeadline(std::chrono::milliseconds deadline) { m_checkDeadline = deadline; }

    // Whether `remote` is a later version than `current`: dotted numbers compared position by
    // position (empty pieces dropped, a missing position or a piece that is not an optionally
    // signed 64-bit integer counts as 0).
    static bool isNewer(const QString &remote, const QString &current);
    // Whether `text` is a version the checker accepts from the server: one to four numbers of
    // one to six ASCII digits, separated by full stops ("1.5.0"), nothing else. Anything else
    // is no version document: no badge, nothing remembered.
    static bool isValidVersion(QStringView text);
    // `text` as a URL when it is HTTPS on this checker's domain or a subdomain of it.
    std::optional<QUrl> sanitized(const QString &text) const;
    static std::optional<QUrl> sanitized(const QString &text, const QString &domain);

signals:
    // availableVersion() and releaseURL() changed (they change together).
    void availabilityChanged();
    // A check ended; `succeeded` when a valid version document was read and acted on.
    void checked(bool succeeded);

private:
    void finish(QNetworkReply *reply);
    bool handle(QNetworkReply *reply);
    void publish(std::optional<QString> version, std::optional<QUrl> url);

    QSettings &m_settings;
    const Site m_site;
    const QString m_currentVersion;
    const Clock m_clock;
    QNetworkAccessManager *m_network = nullptr; // created with the first check
    std::chrono::milliseconds m_checkDeadline = defaultCheckDeadline;
    std::optional<QString> m_availableVersion;
    std::optional<QUrl> m_releaseURL;
};

} // namespace App
