#pragma once

#include <QColor>
#include <QFont>

#include <cstdint>
#include <vector>

// How a text view and its line-number gutter look: everything a theme decides, handed over as one
// value so that a theme switch reaches every part of the view at once.
struct STTextViewStyle {
    // The view's font (QWidget::font() follows it; the gutter inherits it).
    QFont font;
    QColor text{Qt::black};
    QColor background{Qt::white};
    QColor selection{QColor(0x33, 0x88, 0xff, 90)};
    // The caret's line while highlightSelectedLine() is on.
    QColor currentLine{QColor(0, 0, 0, 20)};
    QColor match{QColor(0xff, 0xd0, 0x00, 110)};
    QColor currentMatch{QColor(0xff, 0x96, 0x00, 190)};
    QColor lineNumbers{QColor(0, 0, 0, 100)};
    // Colours of the syntax classes, by class; class 0, classes past the end and invalid colours
    // draw in `text`.
    std::vector<QColor> syntaxPalette;

    QColor syntaxColor(std::uint8_t syntaxClass) const
    {
        if (syntaxClass == 0 || syntaxClass >= syntaxPalette.size() || !syntaxPalette[syntaxClass].isValid())
            return text;
        return syntaxPalette[syntaxClass];
    }
    bool operator==(const STTextViewStyle &) const = default;
};
