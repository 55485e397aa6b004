#pragma once

#include "highlighting/color.h"

#include <QColor>

namespace Highlighting {

// The one conversion of theme colours for Qt views (sRGB, opacity 1).
inline QColor toQColor(Color color)
{
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue));
}

} // namespace Highlighting
