// The update check: version comparison, the versions and download addresses accepted, what is
// remembered across starts, and checks against a real local HTTP and HTTPS server, one of which
// trickles its answer until the check's deadline cuts it off. Built twice, against services
// built with and without the check (CORVANE_UPDATE_CHECK, 1 or 0 here): without it, nothing is
// ever asked or shown.
#include "app/services/updatechecker.h"

#include "localhttpserver.h"

#include "base/timer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QtTest>

using App::UpdateChecker;

#ifndef CORVANE_UPDATE_CHECK
#error "CORVANE_UPDATE_CHECK is set by the build: whether the services under test check"
#endif

namespace {

// Hold whether or not the build checks: the rest needs the check.
const QStringList testsOfEitherBuild = {"isNewer", "sanitized", "productSiteUsesTheBuildHost",
                                        "theBuildOptionDecides", "withoutTheCheckNothingIsAskedOrShown",
                                        "unreachableServerFailsSilently",
                                        "httpsWithAnUntrustedCertificateFailsSilently"};

const QString domain = QStringLiteral("corvane.test");
const QUrl fallback = QUrl(QStringLiteral("https://corvane.test/"));
constexpr double now = 1'700'000'000.0;

// Delivers what is posted to the event loop and what that posts in turn: the checker defers
// at most two steps (a due check, then the answer of a build without the check).
void runPostedEvents()
{
    for (int step = 0; step < 3; ++step)
        QCoreApplication::sendPostedEvents();
}

UpdateChecker::Site siteAt(const QUrl &endpoint)
{
    return UpdateChecker::Site{endpoint, fallback, domain};
}

QByteArray payload(const QString &version, const QString &url)
{
    return QStringLiteral(R"({"version":"%1","url":"%2","notes":"Faster loading."})").arg(version, url).toUtf8();
}

} // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void isNewer_data();
    void isNewer();
    void sanitized_data();
    void sanitized();
    void productSiteUsesTheBuildHost();
    void theBuildOptionDecides();
    void withoutTheCheckNothingIsAskedOrShown();

    void restoresTheRememberedResult_data();
    void restoresTheRememberedResult();

    void checkActsOnTheVersionDocument_data();
    void checkActsOnTheVersionDocument();
    void checkFailuresChangeNothing_data();
    void checkFailuresChangeNothing();
    void answerWithoutNewerVersionRemovesTheBadge();
    void unreachableServerFailsSilently();

    void httpsWithTheTrustedCertificateSucceeds();
    void httpsWithAnUntrustedCertificateFailsSilently();

    void onlyShortDottedVersionsAreAccepted_data();
    void onlyShortDottedVersionsAreAccepted();
    void tricklingServerIsCutOffByTheDeadline_data();
    void tricklingServerIsCutOffByTheDeadline();

    void checkIfDueRunsOnlyAfterSixHours_data();
    void checkIfDueRunsOnlyAfterSixHours();

private:
    std::unique_ptr<UpdateChecker> makeChecker(const QUrl &endpoint, const QString &currentVersion = "1.4.0");
    bool runCheck(UpdateChecker &checker);

    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    QSslConfiguration m_defaultTls;
};

void TestUpdateChecker::initTestCase()
{
    QVERIFY(m_folder.isValid());
    // The system's proxy settings must not route requests for 127.0.0.1 elsewhere.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    m_defaultTls = QSslConfiguration::defaultConfiguration();
}

void TestUpdateChecker::init()
{
    if (!UpdateChecker::isEnabled() && !testsOfEitherBuild.contains(QTest::currentTestFunction()))
        QSKIP("built without the update check");
    QFile::remove(m_folder.filePath("settings.ini"));
    m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
}

void TestUpdateChecker::cleanup()
{
    QSslConfiguration::setDefaultConfiguration(m_defaultTls);
    m_settings.reset();
}

std::unique_ptr<UpdateChecker> TestUpdateChecker::makeChecker(const QUrl &endpoint, const QString &currentVersion)
{
    return std::make_unique<UpdateChecker>(*m_settings, siteAt(endpoint), currentVersion, [] { return now; });
}

bool TestUpdateChecker::runCheck(UpdateChecker &checker)
{
    QSignalSpy checked(&checker, &UpdateChecker::checked);
    checker.check();
    if (!checked.wait(20'000))
        return false;
    return checked.first().first().toBool();
}

void TestUpdateChecker::isNewer_data()
{
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");
    QTest::newRow("numbersNotText_1.10over1.9_newer") << "1.10" << "1.9" << true;
    QTest::newRow("1.9under1.10_notNewer") << "1.9" << "1.10" << false;
    QTest::newRow("missingPositionIsZero_1.2vs1.2.0_notNewer") << "1.2" << "1.2.0" << false;
    QTest::newRow("missingPositionIsZero_1.2.0vs1.2_notNewer") << "1.2.0" << "1.2" << false;
    QTest::newRow("extraPosition_1.2.1vs1.2_newer") << "1.2.1" << "1.2" << true;
    QTest::newRow("suffixedPieceIsZero_2.0-betaVs1.9_newer") << "2.0-beta" << "1.9" << true;
    QTest::newRow("suffixedPieceIsZero_1.3-betaVs1.3_notNewer") << "1.3-beta" << "1.3" << false;
    QTest::newRow("twoEmptyTexts_notNewer") << "" << "" << false;
    QTest::newRow("oneAgainstEmpty_newer") << "1" << "" << true;
    QTest::newRow("equal_notNewer") << "1.4.2" << "1.4.2" << false;
    QTest::newRow("emptyPiecesDropped_1..2vs1.1_newer") << "1..2" << "1.1" << true;
    QTest::newRow("leadingFullStopAddsNoPiece_.2vs1_newer") << ".2" << "1" << true;
    QTest::newRow("trailingFullStopAddsNoPiece_1.vs1.0_notNewer") << "1." << "1.0" << false;
    QTest::newRow("plusSign_+2vs1_newer") << "+2" << "1" << true;
    QTest::newRow("minusSign_0vs-1_newer") << "0" << "-1" << true;
    QTest::newRow("minusSign_-1vs0_notNewer") << "-1" << "0" << false;
    QTest::newRow("signAlone_isZero") << "+" << "0" << false;
    QTest::newRow("rc1IsZero_notNewer") << "rc1" << "0" << false;
    QTest::newRow("spaceMakesPieceZero_notNewer") << " 2" << "1" << false;
    QTest::newRow("leadingZeros_1.010vs1.9_newer") << "1.010" << "1.9" << true;
    QTest::newRow("largest64BitNumber_newer") << "9223372036854775807" << "9223372036854775806" << true;
    QTest::newRow("beyond64BitIsZero_notNewer") << "9223372036854775808" << "1" << false;
    QTest::newRow("nonAsciiDigitIsZero_notNewer") << QString::fromUtf8("\u0662") << "1" << false;
}

void TestUpdateChecker::isNewer()
{
    QFETCH(QString, remote);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(UpdateChecker::isNewer(remote, current), newer);
}

void TestUpdateChecker::sanitized_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("httpsOnTheSite_accepted") << "https://corvane.test/download/1.4.2" << true;
    QTest::newRow("httpsOnASubdomain_accepted") << "https://downloads.corvane.test/x" << true;
    QTest::newRow("upperCaseSchemeAndHost_accepted") << "HTTPS://CORVANE.TEST/" << true;
    QTest::newRow("withPort_accepted") << "https://corvane.test:8443/" << true;
    QTest::newRow("plainHttp_refused") << "http://corvane.test/download" << false;
    QTest::newRow("otherScheme_refused") << "ftp://corvane.test/" << false;
    QTest::newRow("anotherHost_refused") << "https://example.org/" << false;
    QTest::newRow("domainAsSuffixWithoutDot_refused") << "https://evilcorvane.test/" << false;
    QTest::newRow("domainAsPrefix_refused") << "https://corvane.test.example.org/" << false;
    QTest::newRow("noHost_refused") << "https:///download" << false;
    QTest::newRow("relative_refused") << "/download" << false;
    QTest::newRow("empty_refused") << "" << false;
    QTest::newRow("doesNotParse_refused") << "https://corvane.test/a b" << false;
}

void TestUpdateChecker::sanitized()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    const auto url = UpdateChecker::sanitized(text, domain);
    QCOMPARE(url.has_value(), accepted);
    if (accepted)
        QCOMPARE(*url, QUrl(text));
}

void TestUpdateChecker::productSiteUsesTheBuildHost()
{
    const UpdateChecker::Site site = UpdateChecker::productSite();
    QCOMPARE(site.endpoint, QUrl("https://" + site.domain + "/version.json"));
    QCOMPARE(site.fallbackURL, QUrl("https://" + site.domain + "/"));
    QVERIFY(!site.domain.isEmpty());
    QVERIFY(!UpdateChecker::applicationVersion().isEmpty());
}

void TestUpdateChecker::theBuildOptionDecides()
{
    QCOMPARE(UpdateChecker::isEnabled(), bool(CORVANE_UPDATE_CHECK));
}

void TestUpdateChecker::withoutTheCheckNothingIsAskedOrShown()
{
    if (UpdateChecker::isEnabled())
        QSKIP("built with the update check");
    // A newer version remembered by an earlier build with the check, and a check long overdue.
    m_settings->setValue(UpdateChecker::availableVersionKey, "1.5");
    m_settings->setValue(UpdateChecker::releaseURLKey, "https://corvane.test/1.5");
    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.setResponse({200, payload("9.0", "https://corvane.test/9.0")});
    auto checker = makeChecker(server.url("/version.json"));
    QCOMPARE(checker->availableVersion(), std::nullopt);
    QCOMPARE(checker->releaseURL(), std::nullopt);
    QSignalSpy changed(checker.get(), &UpdateChecker::availabilityChanged);
    QSignalSpy checked(checker.get(), &UpdateChecker::checked);

    checker->checkIfDue();
    runPostedEvents();
    QCOMPARE(checked.size(), 0);
    QVERIFY(!runCheck(*checker));
    // A request starts on the checker's own network access, made with the first one: without
    // it, nothing can be on its way to the server.
    QVERIFY(!checker->findChild<QNetworkAccessManager *>());
    QCOMPARE(server.requests(), QList<QByteArray>{});
    QCOMPARE(changed.size(), 0);
    QCOMPARE(checker->availableVersion(), std::nullopt);
    QVERIFY(!m_settings->contains(UpdateChecker::lastCheckKey));
}

void TestUpdateChecker::restoresTheRememberedResult_data()
{
    QTest::addColumn<QVariant>("storedVersion");
    QTest::addColumn<QVariant>("storedURL");
    QTest::addColumn<QVariant>("version");
    QTest::addColumn<QVariant>("url");
    const QVariant none;
    QTest::newRow("newerWithSiteURL_published")
        << QVariant("1.5") << QVariant("https://corvane.test/1.5") << QVariant("1.5") << QVariant(QUrl("https://corvane.test/1.5"));
    QTest::newRow("newerWithForeignURL_fallbackPublished")
        << QVariant("1.5") << QVariant("https://example.org/1.5") << QVariant("1.5") << QVariant(fallback);
    QTest::newRow("newerWithoutURL_fallbackPublished") << QVariant("1.5") << none << QVariant("1.5") << QVariant(fallback);
    QTest::newRow("noLongerNewer_nothingPublished") << QVariant("1.4") << QVariant("https://corvane.test/1.4") << none << none;
    QTest::newRow("nothingStored_nothingPublished") << none << none << none << none;
    QTest::newRow("900KBOfDottedNumbers_nothingPublished")
        << QVariant("9" + QString(".9").repeated(450'000)) << QVariant("https://corvane.test/9") << none << none;
    QTest::newRow("suffixedVersion_nothingPublished")
        << QVariant("2.0-beta") << QVariant("https://corvane.test/2.0") << none << none;
}

void TestUpdateChecker::restoresTheRememberedResult()
{
    QFETCH(QVariant, storedVersion);
    QFETCH(QVariant, storedURL);
    QFETCH(QVariant, version);
    QFETCH(QVariant, url);
    if (storedVersion.isValid())
        m_settings->setValue(UpdateChecker::availableVersionKey, storedVersion);
    if (storedURL.isValid())
        m_settings->setValue(UpdateChecker::releaseURLKey, storedURL);
    m_settings->sync();
    QSettings reread(m_settings->fileName(), QSettings::IniFormat);
    const UpdateChecker checker(reread, siteAt(QUrl("https://127.0.0.1:9/version.json")), "1.4.0");

    QCOMPARE(checker.availableVersion().has_value(), version.isValid());
    QCOMPARE(checker.releaseURL().has_value(), url.isValid());
    if (version.isValid()) {
        QCOMPARE(*checker.availableVersion(), version.toString());
        QCOMPARE(*checker.releaseURL(), url.toUrl());
    }
    // The keys stay until the next successful check.
    QCOMPARE(reread.value(UpdateChecker::availableVersionKey), storedVersion);
}

void TestUpdateChecker::checkActsOnTheVersionDocument_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QVariant>("version");
    QTest::addColumn<QVariant>("url");
    const QVariant none;
    QTest::newRow("newerOnTheSite_publishesItsURL")
        << payload("1.5.0", "https://downloads.corvane.test/1.5.0") << QVariant("1.5.0")
        << QVariant(QUrl("https://downloads.corvane.test/1.5.0"));
    QTest::newRow("newerWithPlainHttpURL_publishesTheSiteRoot")
        << payload("1.5.0", "http://corvane.test/1.5.0") << QVariant("1.5.0") << QVariant(fallback);
    QTest::newRow("newerOnAnotherHost_publishesTheSiteRoot")
        << payload("1.5.0", "https://example.org/1.5.0") << QVariant("1.5.0") << QVariant(fallback);
    QTest::newRow("withoutNotes_accepted")
        << QByteArray(R"({"version":"2","url":"https://corvane.test/2"})") << QVariant("2")
        << QVariant(QUrl("https://corvane.test/2"));
    QTest::newRow("nullNotesAndOtherKeys_accepted")
        << QByteArray(R"({"version":"2","url":"https://corvane.test/2","notes":null,"size":12})") << QVariant("2")
        << QVariant(QUrl("https://corvane.test/2"));
    QTest::newRow("sameVersion_publishesNothing") << payload("1.4.0", "https://corvane.test/1.4.0") << none << none;
    QTest::newRow("olderVersion_publishesNothing") << payload("1.3.9", "https://corvane.test/1.3.9") << none << none;
}

void TestUpdateChecker::checkActsOnTheVersionDocument()
{
    QFETCH(QByteArray, body);
    QFETCH(QVariant, version);
    QFETCH(QVariant, url);
    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.setResponse({200, body});
    auto checker = makeChecker(server.url("/version.json"));

    QVERIFY(runCheck(*checker));
    QCOMPARE(server.requests(), (QList<QByteArray>{"GET /version.json HTTP/1.1"}));
    QCOMPARE(m_settings->value(UpdateChecker::lastCheckKey).toDouble(), now);
    QCOMPARE(checker->availableVersion().has_value(), version.isValid());
    QCOMPARE(checker->releaseURL().has_value(), url.isValid());
    QCOMPARE(m_settings->contains(UpdateChecker::availableVersionKey), version.isValid());
    QCOMPARE(m_settings->contains(UpdateChecker::releaseURLKey), url.isValid());
    if (version.isValid()) {
        QCOMPARE(*checker->availableVersion(), version.toString());
        QCOMPARE(*checker->releaseURL(), url.toUrl());
        QCOMPARE(m_settings->value(UpdateChecker::availableVersionKey).toString(), version.toString());
        QCOMPARE(m_settings->value(UpdateChecker::releaseURLKey).toString(), url.toUrl().toString());
    }
}

void TestUpdateChecker::checkFailuresChangeNothing_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    const QByteArray newer = payload("9.0", "https://corvane.test/9.0");
    QTest::newRow("notFound") << 404 << newer;
    QTest::newRow("serverError") << 500 << newer;
    QTest::newRow("noContent") << 204 << QByteArray();
    QTest::newRow("notJson") << 200 << QByteArray("<html>version 9.0</html>");
    QTest::newRow("truncatedJson") << 200 << newer.left(newer.size() - 1);
    QTest::newRow("array") << 200 << QByteArray(R"([{"version":"9.0","url":"https://corvane.test/"}])");
    QTest::newRow("withoutVersion") << 200 << QByteArray(R"({"url":"https://corvane.test/9.0"})");
    QTest::newRow("withoutURL") << 200 << QByteArray(R"({"version":"9.0"})");
    QTest::newRow("versionNotText") << 200 << QByteArray(R"({"version":9,"url":"https://corvane.test/9"})");
    QTest::newRow("notesNotText") << 200 << QByteArray(R"({"version":"9.0","url":"https://corvane.test/9","notes":[]})");
    QTest::newRow("oversized") << 200
                               << QByteArray(R"({"version":"9.0","url":"https://corvane.test/9","notes":")")
            + QByteArray(2 << 20, 'x') + QByteArray("\"}");
}

void TestUpdateChecker::checkFailuresChangeNothing()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    m_settings->setValue(UpdateChecker::lastCheckKey, 12345.0);
    m_settings->setValue(UpdateChecker::availableVersionKey, "1.5");
    m_settings->setValue(UpdateChecker::releaseURLKey, "https://corvane.test/1.5");
    LocalHttpServer server;
    server.setResponse({status, body});
    auto checker = makeChecker(server.url("/version.json"));
    QCOMPARE(checker->availableVersion(), std::optional<QString>("1.5"));
    QSignalSpy changed(checker.get(), &UpdateChecker::availabilityChanged);

    QVERIFY(!runCheck(*checker));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(checker->availableVersion(), std::optional<QString>("1.5"));
    QCOMPARE(checker->releaseURL(), std::optional<QUrl>(QUrl("https://corvane.test/1.5")));
    QCOMPARE(m_settings->value(UpdateChecker::lastCheckKey).toDouble(), 12345.0);
    QCOMPARE(m_settings->value(UpdateChecker::availableVersionKey).toString(), QString("1.5"));
}

void TestUpdateChecker::answerWithoutNewerVersionRemovesTheBadge()
{
    m_settings->setValue(UpdateChecker::availableVersionKey, "1.5");
    m_settings->setValue(UpdateChecker::releaseURLKey, "https://corvane.test/1.5");
    LocalHttpServer server;
    server.setResponse({200, payload("1.4.0", "https://corvane.test/1.4.0")});
    auto checker = makeChecker(server.url("/version.json"));
    QVERIFY(checker->availableVersion());
    QSignalSpy changed(checker.get(), &UpdateChecker::availabilityChanged);

    QVERIFY(runCheck(*checker));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(checker->availableVersion(), std::nullopt);
    QCOMPARE(checker->releaseURL(), std::nullopt);
    QVERIFY(!m_settings->contains(UpdateChecker::availableVersionKey));
    QVERIFY(!m_settings->contains(UpdateChecker::releaseURLKey));
}

void TestUpdateChecker::unreachableServerFailsSilently()
{
    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    }
    auto checker = makeChecker(QUrl(QStringLiteral("http://127.0.0.1:%1/version.json").arg(port)));
    QVERIFY(!runCheck(*checker));
    QVERIFY(!m_settings->contains(UpdateChecker::lastCheckKey));
    QCOMPARE(checker->availableVersion(), std::nullopt);
}

void TestUpdateChecker::httpsWithTheTrustedCertificateSucceeds()
{
    LocalHttpServer server(LocalHttpServer::serverConfiguration(CORVANE_FIXTURES, "localhost"));
    QVERIFY(server.isListening());
    server.setResponse({200, payload("2.0", "https://corvane.test/2.0")});
    // Trusted like a certificate authority of the system, and nothing else is changed.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificate(LocalHttpServer::certificate(CORVANE_FIXTURES, "localhost"));
    QSslConfiguration::setDefaultConfiguration(tls);
    auto checker = makeChecker(server.url("/version.json"));

    QVERIFY(runCheck(*checker));
    QCOMPARE(checker->availableVersion(), std::optional<QString>("2.0"));
    QCOMPARE(checker->releaseURL(), std::optional<QUrl>(QUrl("https://corvane.test/2.0")));
}

void TestUpdateChecker::httpsWithAnUntrustedCertificateFailsSilently()
{
    LocalHttpServer server(LocalHttpServer::serverConfiguration(CORVANE_FIXTURES, "untrusted"));
    server.setResponse({200, payload("2.0", "https://corvane.test/2.0")});
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificate(LocalHttpServer::certificate(CORVANE_FIXTURES, "localhost"));
    QSslConfiguration::setDefaultConfiguration(tls);
    auto checker = makeChecker(server.url("/version.json"));

    QVERIFY(!runCheck(*checker));
    QVERIFY(server.requests().isEmpty());
    QVERIFY(!m_settings->contains(UpdateChecker::lastCheckKey));
    QCOMPARE(checker->availableVersion(), std::nullopt);
}

void TestUpdateChecker::onlyShortDottedVersionsAreAccepted_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("oneNumber_accepted") << "2" << true;
    QTest::newRow("threeNumbers_accepted") << "1.5.0" << true;
    QTest::newRow("fourNumbersOfSixDigits_accepted") << "999999.999999.999999.999999" << true;
    QTest::newRow("leadingZeros_accepted") << "01.05" << true;
    QTest::newRow("900KBOfDottedNumbers_refused") << "9" + QString(".9").repeated(450'000) << false;
    QTest::newRow("fiveNumbers_refused") << "1.5.0.0.1" << false;
    QTest::newRow("sevenDigits_refused") << "1234567" << false;
    QTest::newRow("suffix_refused") << "2.0-beta" << false;
    QTest::newRow("prefix_refused") << "v2" << false;
    QTest::newRow("empty_refused") << "" << false;
    QTest::newRow("trailingFullStop_refused") << "2." << false;
    QTest::newRow("leadingFullStop_refused") << ".2" << false;
    QTest::newRow("emptyPiece_refused") << "1..2" << false;
    QTest::newRow("sign_refused") << "+2" << false;
    QTest::newRow("space_refused") << " 2" << false;
    QTest::newRow("lineBreak_refused") << "2\n" << false;
    QTest::newRow("nonAsciiDigits_refused") << QString::fromUtf8("\u0662.\uFF10") << false;
}

void TestUpdateChecker::onlyShortDottedVersionsAreAccepted()
{
    QFETCH(QString, version);
    QFETCH(bool, accepted);
    QCOMPARE(UpdateChecker::isValidVersion(version), accepted);
    LocalHttpServer server;
    QVERIFY(server.isListening());
    const QJsonObject document{{"version", version}, {"url", "https://corvane.test/new"}};
    server.setResponse({200, QJsonDocument(document).toJson(QJsonDocument::Compact)});
    auto checker = makeChecker(server.url("/version.json"));
    // Anything else is no version document: nothing is shown, stored or counted as a check.
    QCOMPARE(runCheck(*checker), accepted);
    QCOMPARE(checker->availableVersion(), accepted ? std::optional<QString>(version) : std::nullopt);
    QCOMPARE(m_settings->contains(UpdateChecker::availableVersionKey), accepted);
    QCOMPARE(m_settings->contains(UpdateChecker::lastCheckKey), accepted);
}

void TestUpdateChecker::tricklingServerIsCutOffByTheDeadline_data()
{
    QTest::addColumn<bool>("secure");
    QTest::addColumn<int>("deadline"); // 0: the checker's own
    QTest::newRow("http") << false << 0;
    QTest::newRow("https") << true << 0;
    QTest::newRow("httpWithAShorterDeadline") << false << 2'000;
}

void TestUpdateChecker::tricklingServerIsCutOffByTheDeadline()
{
    QFETCH(bool, secure);
    QFETCH(int, deadline);
    // The deadline runs on this clock, which moves only when the test says.
    Base::ManualClock clock;
    std::optional<QSslConfiguration> tls;
    if (secure) {
        tls = LocalHttpServer::serverConfiguration(CORVANE_FIXTURES, "localhost");
        QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
        trusted.addCaCertificate(LocalHttpServer::certificate(CORVANE_FIXTURES, "localhost"));
        QSslConfiguration::setDefaultConfiguration(trusted);
    }
    LocalHttpServer server(tls);
    QVERIFY(server.isListening());
    // One byte at a time, each well within any time-out between two bytes.
    server.setTrickle(std::chrono::milliseconds(20));
    auto checker = makeChecker(server.url("/version.json"));
    QCOMPARE(checker->checkDeadline(), std::chrono::milliseconds(30'000));
    if (deadline)
        checker->setCheckDeadline(std::chrono::milliseconds(deadline));
    else
        deadline = 30'000;
    QSignalSpy checked(checker.get(), &UpdateChecker::checked);
    checker->check();
    QTRY_VERIFY_WITH_TIMEOUT(server.trickledBytes() >= 3, 20'000);
    clock.advance(deadline - 1);
    QCoreApplication::processEvents();
    QVERIFY(checked.isEmpty());
    clock.advance(1);
    QTRY_COMPARE(checked.size(), 1);
    QCOMPARE(checked.first().first().toBool(), false);
    QVERIFY(!m_settings->contains(UpdateChecker::lastCheckKey));
    QCOMPARE(checker->availableVersion(), std::nullopt);
}

void TestUpdateChecker::checkIfDueRunsOnlyAfterSixHours_data()
{
    QTest::addColumn<QVariant>("lastCheck");
    QTest::addColumn<bool>("runs");
    QTest::newRow("neverChecked_runs") << QVariant() << true;
    QTest::newRow("fiveHoursAgo_doesNothing") << QVariant(now - 5 * 3600) << false;
    QTest::newRow("justUnderSixHours_doesNothing") << QVariant(now - 21599.5) << false;
    QTest::newRow("sixHoursAgo_runs") << QVariant(now - 6 * 3600) << true;
    QTest::newRow("aWeekAgo_runs") << QVariant(now - 7 * 86400) << true;
    QTest::newRow("inTheFuture_doesNothing") << QVariant(now + 3600) << false;
    QTest::newRow("notANumber_runs") << QVariant("soon") << true;
}

void TestUpdateChecker::checkIfDueRunsOnlyAfterSixHours()
{
    QFETCH(QVariant, lastCheck);
    QFETCH(bool, runs);
    if (lastCheck.isValid())
        m_settings->setValue(UpdateChecker::lastCheckKey, lastCheck);
    LocalHttpServer server;
    server.setResponse({200, payload("1.4.0", "https://corvane.test/1.4.0")});
    auto checker = makeChecker(server.url("/version.json"));
    QSignalSpy checked(checker.get(), &UpdateChecker::checked);

    checker->checkIfDue();
    QCOMPARE(checked.size(), 0); // The check starts at the next turn of the event loop.
    if (runs) {
        QVERIFY(checked.wait(20'000));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(m_settings->value(UpdateChecker::lastCheckKey).toDouble(), now);
    } else {
        // A due check would have run from the event loop and made its request by now.
        runPostedEvents();
        QVERIFY(!checker->findChild<QNetworkAccessManager *>());
        QCOMPARE(checked.size(), 0);
        QVERIFY(server.requests().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
