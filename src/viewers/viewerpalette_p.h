#pragma once

#include "highlighting/qtcolor.h"
#include "highlighting/theme.h"

#include <QColor>

namespace Viewers::Internal {

// `color` with its opacity multiplied by `opacity`.
inline QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// The desktop's standard accent hues, in the variant that reads well on the theme's
// background.
struct StandardColors {
    QColor green;
    QColor orange;
    QColor purple;
    QColor grey;

    static StandardColors forTheme(const Highlighting::Theme &theme)
    {
        if (theme.isDark())
            return {QColor(48, 209, 88), QColor(255, 159, 10), QColor(191, 90, 242), QColor(152, 152, 157)};
        return {QColor(40, 160, 70), QColor(220, 120, 0), QColor(160, 70, 210), QColor(120, 120, 126)};
    }
};

// Find marks, the colours the text view gives its matches: every match, and the current one.
inline QColor matchMark() { return QColor(0xff, 0xd0, 0x00, 110); }
inline QColor currentMatchMark() { return QColor(0xff, 0x96, 0x00, 190); }

} // namespace Viewers::Internal
