// The colour-scheme question to the desktop portal, against a private D-Bus daemon with a portal
// of the test's own in a second process (this program, started with --serve-portal): the current
// portal (ReadOne), an older one (Read only, the value wrapped twice), none at all, and one that
// never answers.

#include "app/services/desktopappearance.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace App::DesktopAppearance;

Q_DECLARE_METATYPE(std::optional<ColorScheme>)

namespace {

enum class PortalKind { Current, Old, Silent };

class Portal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    Portal(PortalKind kind, QVariant value) : m_kind(kind), m_value(std::move(value)) {}

public slots:
    QDBusVariant ReadOne(const QString &ns, const QString &key)
    {
        if (m_kind == PortalKind::Old) {
            sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method"));
            return {};
        }
        return answer(ns, key, false);
    }

    QDBusVariant Read(const QString &ns, const QString &key) { return answer(ns, key, true); }

private:
    QDBusVariant answer(const QString &ns, const QString &key, bool wrapTwice)
    {
        if (m_kind == PortalKind::Silent) {
            setDelayedReply(true); // and never reply
            return {};
        }
        if (ns != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme")) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("Unknown"));
            return {};
        }
        if (wrapTwice)
            return QDBusVariant(QVariant::fromValue(QDBusVariant(m_value)));
        return QDBusVariant(m_value);
    }

    PortalKind m_kind;
    QVariant m_value;
};

} // namespace

class TestDesktopAppearance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void portalAnswers_data();
    void portalAnswers();
    void noPortalMeansNoAnswer();
    void silentPortalTimesOut();
    void defaultTheme_data();
    void defaultTheme();

private:
    // A portal process of `kind` answering `value`, registered on the bus once this returns.
    std::unique_ptr<QProcess> serve(PortalKind kind, const QVariant &value);
    void stop(std::unique_ptr<QProcess> portal);
    QDBusConnection client();

    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};

void TestDesktopAppearance::initTestCase()
{
    const QString config = m_folder.filePath("bus.conf");
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                              "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                              "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n")
                   .arg(m_folder.path())
                   .toUtf8());
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon is needed");
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 10000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
}

void TestDesktopAppearance::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

QDBusConnection TestDesktopAppearance::client()
{
    static int count = 0;
    return QDBusConnection::connectToBus(m_address, QStringLiteral("client%1").arg(++count));
}

std::unique_ptr<QProcess> TestDesktopAppearance::serve(PortalKind kind, const QVariant &value)
{
    auto portal = std::make_unique<QProcess>();
    portal->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString encoded = value.userType() == QMetaType::UInt ? QStringLiteral("u:") + value.toString()
                                                                 : QStringLiteral("s:") + value.toString();
    portal->start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--serve-portal"), m_address, QString::number(int(kind)), encoded});
    [&] {
        QVERIFY(portal->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(portal->canReadLine(), 10000);
        QCOMPARE(portal->readLine().trimmed(), QByteArray("ready"));
    }();
    return portal;
}

void TestDesktopAppearance::stop(std::unique_ptr<QProcess> portal)
{
    portal->kill();
    portal->waitForFinished();
    // The next portal takes the name only once the bus has seen this one go.
    QDBusConnection bus = client();
    QTRY_VERIFY_WITH_TIMEOUT(
        !bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")).value(), 5000);
}

void TestDesktopAppearance::portalAnswers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<std::optional<ColorScheme>>("expected");
    const auto current = int(PortalKind::Current);
    const auto old = int(PortalKind::Old);
    QTest::newRow("current, dark") << current << QVariant(1u) << std::optional(ColorScheme::PreferDark);
    QTest::newRow("current, light") << current << QVariant(2u) << std::optional(ColorScheme::PreferLight);
    QTest::newRow("current, no preference") << current << QVariant(0u) << std::optional(ColorScheme::NoPreference);
    QTest::newRow("old, dark") << old << QVariant(1u) << std::optional(ColorScheme::PreferDark);
    QTest::newRow("old, light") << old << QVariant(2u) << std::optional(ColorScheme::PreferLight);
    QTest::newRow("unknown value") << current << QVariant(7u) << std::optional<ColorScheme>();
    QTest::newRow("a string") << current << QVariant(QStringLiteral("dark")) << std::optional<ColorScheme>();
}

void TestDesktopAppearance::portalAnswers()
{
    QFETCH(int, kind);
    QFETCH(QVariant, value);
    QFETCH(std::optional<ColorScheme>, expected);
    auto portal = serve(PortalKind(kind), value);
    const std::optional<ColorScheme> scheme = portalColorScheme(client(), 5000);
    stop(std::move(portal));
    QCOMPARE(scheme.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(int(*scheme), int(*expected));
}

void TestDesktopAppearance::noPortalMeansNoAnswer()
{
    QVERIFY(!portalColorScheme(client(), 5000).has_value());
    QVERIFY(!portalColorScheme(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                             QStringLiteral("nowhere")))
                 .has_value());
}

void TestDesktopAppearance::silentPortalTimesOut()
{
    auto portal = serve(PortalKind::Silent, 1u);
    QElapsedTimer waited;
    waited.start();
    const std::optional<ColorScheme> scheme = portalColorScheme(client(), 300);
    const qint64 elapsed = waited.elapsed();
    stop(std::move(portal));
    QVERIFY(!scheme.has_value());
    // One call of at most the timeout (a silent portal is not asked again with Read); well below
    // D-Bus's 25 s default.
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void TestDesktopAppearance::defaultTheme_data()
{
    QTest::addColumn<std::optional<ColorScheme>>("scheme");
    QTest::addColumn<bool>("paletteIsDark");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no portal, dark palette") << std::optional<ColorScheme>() << true << "vs-claude";
    QTest::newRow("no portal, light palette") << std::optional<ColorScheme>() << false << "vscode-light";
    QTest::newRow("no preference follows the palette") << std::optional(ColorScheme::NoPreference) << false
                                                       << "vscode-light";
    QTest::newRow("dark wins over a light palette") << std::optional(ColorScheme::PreferDark) << false << "vs-claude";
    QTest::newRow("light wins over a dark palette") << std::optional(ColorScheme::PreferLight) << true
                                                    << "vscode-light";
}

void TestDesktopAppearance::defaultTheme()
{
    QFETCH(std::optional<ColorScheme>, scheme);
    QFETCH(bool, paletteIsDark);
    QFETCH(QString, expected);
    QCOMPARE(defaultThemeId(scheme, paletteIsDark), expected);
}

namespace {

int servePortal(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5)
        return 2;
    const QString encoded = arguments[4];
    const QVariant value = encoded.startsWith(QLatin1String("u:")) ? QVariant(encoded.mid(2).toUInt())
                                                                   : QVariant(encoded.mid(2));
    Portal portal(PortalKind(arguments[3].toInt()), value);
    QDBusConnection bus = QDBusConnection::connectToBus(arguments[2], QStringLiteral("portal"));
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 1;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--serve-portal") == 0)
        return servePortal(argc, argv);
    QCoreApplication app(argc, argv);
    TestDesktopAppearance test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_desktopappearance.moc"
