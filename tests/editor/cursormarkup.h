#pragma once

#include "textview/textrange.h"

#include <QString>

#include <string>

// Text with the caret or selection written into it: "ab|c" is a caret before c, "a[bc]" a
// selection of "bc". Newlines are written as \n in the C++ literal.
struct MarkedText {
    std::u16string text;
    TextView::TextRange selection;
};

MarkedText parseMarkup(const QString &markup);
QString writeMarkup(const std::u16string &text, TextView::TextRange selection);
