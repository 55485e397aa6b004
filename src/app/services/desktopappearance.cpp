#include "desktopappearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace App::DesktopAppearance {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

QDBusMessage callSettings(const QDBusConnection &bus, const QString &method, int timeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
    call << appearanceNamespace << colorSchemeKey;
    return bus.call(call, QDBus::Block, timeoutMs);
}

// ReadOne answers with the value in one variant; the older Read wraps that variant in another.
QVariant unwrapped(QVariant value)
{
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>();
         ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

} // namespace

std::optional<ColorScheme> portalColorScheme(const QDBusConnection &bus, int timeoutMs)
{
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage reply = callSettings(bus, QStringLiteral("ReadOne"), timeoutMs);
    // Only a portal that predates ReadOne is asked again: one that does not answer in time is
    // not waited for twice at start-up.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
        reply = callSettings(bus, QStringLiteral("Read"), timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariant value = unwrapped(reply.arguments().constFirst());
    if (value.userType() != QMetaType::UInt && value.userType() != QMetaType::Int)
        return std::nullopt;
    switch (value.toUInt()) {
    case 0: return ColorScheme::NoPreference;
    case 1: return ColorScheme::PreferDark;
    case 2: return ColorScheme::PreferLight;
    default: return std::nullopt;
    }
}

QString defaultThemeId(std::optional<ColorScheme> scheme, bool paletteIsDark)
{
    bool dark = paletteIsDark;
    if (scheme == ColorScheme::PreferDark)
        dark = true;
    else if (scheme == ColorScheme::PreferLight)
        dark = false;
    return dark ? QStringLiteral("vs-claude") : QStringLiteral("vscode-light");
}

} // namespace App::DesktopAppearance
