#pragma once

#include "highlighting/theme.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QWidget;

namespace App::Chrome {

// The window's own controls are drawn in the theme's colours, never the desktop's.
QColor foreground(const Highlighting::Theme &theme, double opacity = 1.0);
QColor background(const Highlighting::Theme &theme, double opacity = 1.0);
// White or black at `opacity`, whichever tints this theme's background visibly.
QColor tint(const Highlighting::Theme &theme, double opacity);
QColor validGreen(const Highlighting::Theme &theme);
QColor invalidRed(const Highlighting::Theme &theme);

// Sizes are given as in the design, in points of a 72-dpi screen; Linux desktops lay text out
// at 96 dpi, so chrome text takes those sizes in pixels, scaled slightly up for legibility.
QFont font(double points, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(double points, QFont::Weight weight = QFont::Normal);

// Gives `widget` a palette in the theme's colours (for the dialogs and popups the window opens).
void applyPalette(QWidget *widget, const Highlighting::Theme &theme);
// `base` with the theme's colours, as applyPalette gives them.
QPalette themedPalette(QPalette base, const Highlighting::Theme &theme);
// `base` with the colours the CSV table takes in the theme: cells on the background, the header
// a step off it, a selection that reads on either kind of theme.
QPalette tablePalette(QPalette base, const Highlighting::Theme &theme);

// A style sheet for every scroll bar: a thin handle that stands out from its track in the
// theme's direction (darker than the track on a light theme, lighter on a dark one, even on
// pure black or white), which the desktop style's own colours do not always give.
QString scrollBarStyleSheet(const Highlighting::Theme &theme);

// `text` as a menu item's or button's title shows it: Qt reads "&" as the mark of a keyboard
// mnemonic, so every "&" of a file name or a message is doubled.
QString literalTitle(QString text);

} // namespace App::Chrome
