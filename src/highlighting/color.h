#pragma once

namespace Highlighting {

// An opaque sRGB colour: components in 0–1, opacity always 1. Toolkits convert it where they
// draw (see qtcolor.h for Qt).
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;

    // A grey whose three components equal `level`.
    static constexpr Color white(double level) { return {level, level, level}; }

    friend constexpr bool operator==(const Color &, const Color &) = default;
};

} // namespace Highlighting
