#pragma once

#include "chrome.h"

#include <QLabel>
#include <QScrollBar>

namespace App::Internal {

inline void setTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// A slim vertical scroll bar in the theme's colours: a rounded handle on no track, as the
// welcome screen and its sheet would look wrong with the desktop style's grey gutter.
inline void styleScrollBar(QScrollBar *bar, const Highlighting::Theme &theme)
{
    const auto rgba = [](const QColor &color) {
        return QStringLiteral("rgba(%1, %2, %3, %4)")
            .arg(color.red())
            .arg(color.green())
            .arg(color.blue())
            .arg(color.alphaF(), 0, 'f', 2);
    };
    bar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 28px; }"
                       "QScrollBar::handle:vertical:hover { background: %2; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(rgba(Chrome::foreground(theme, 0.22)), rgba(Chrome::foreground(theme, 0.38))));
}

} // namespace App::Internal
