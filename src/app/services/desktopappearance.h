#pragma once

#include <QString>

#include <optional>

class QDBusConnection;

namespace App {

// What the desktop says about light and dark, for the theme a first run starts with.
namespace DesktopAppearance {

// The values of the freedesktop setting org.freedesktop.appearance color-scheme.
enum class ColorScheme { NoPreference = 0, PreferDark = 1, PreferLight = 2 };

// Asks the desktop portal on `bus` for the colour-scheme setting. Empty when there is no portal,
// it does not know the setting, answers with something else, or takes longer than
// `timeoutMs` (a blocking call: this runs once, at start, before any window shows).
std::optional<ColorScheme> portalColorScheme(const QDBusConnection &bus, int timeoutMs = 400);

// The theme a user who has not chosen one starts with: the desktop's preference where it states
// one, otherwise the lightness of the palette's window colour.
QString defaultThemeId(std::optional<ColorScheme> scheme, bool paletteIsDark);

} // namespace DesktopAppearance

} // namespace App
