#include "fontsize.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace App {

double smallerFontSize(double points)
{
    return std::max(points - fontSizeStep, smallestFontSize);
}

double largerFontSize(double points)
{
    return std::min(points + fontSizeStep, largestFontSize);
}

std::string fontSizeLabel(double points)
{
    const double rounded = std::round(points * 2) / 2;
    char text[32];
    if (rounded == std::floor(rounded))
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(rounded));
    else
        std::snprintf(text, sizeof text, "%.1f", rounded);
    return text;
}

} // namespace App
