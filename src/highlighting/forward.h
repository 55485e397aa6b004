#pragma once

#include <cstdint>

// Forward declarations of the highlighting subsystem, for headers that only pass these around.
namespace Highlighting {
struct Color;
struct SyntaxPalette;
struct SyntaxRun;
class Theme;
class ThemePicker;
class ThemeSwatch;
enum class SyntaxClass : std::uint8_t;
} // namespace Highlighting
