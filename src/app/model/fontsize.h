#pragma once

#include <string>

namespace App {

// The editor font size runs from 8 to 36 points in steps of half a point.
inline constexpr double smallestFontSize = 8.0;
inline constexpr double largestFontSize = 36.0;
inline constexpr double fontSizeStep = 0.5;

double smallerFontSize(double points);
double largerFontSize(double points);

// The size rounded to the nearest half point: "13" when whole, else "13.5".
std::string fontSizeLabel(double points);

} // namespace App
