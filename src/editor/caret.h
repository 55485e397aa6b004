#pragma once

#include "textview/textrange.h"

#include <optional>

namespace TextView {
class TextStorage;
}

namespace Editor {

using TextView::TextRange;

// A caret position as the user sees it: 1-based line and column.
struct CaretPosition {
    long long line = 1;
    long long column = 1;
    bool operator==(const CaretPosition &) const = default;
};

// The caret position of `location` (clamped to the text): its line, and its column as the status
// bar counts it (Base::Text::caretColumn: grapheme clusters, code units past
// Base::Text::graphemeColumnLimit). Reads at most that many units of the line, whatever its length.
CaretPosition caretPosition(const TextView::TextStorage &text, std::size_t location);

// The characters of 1-based `line` without its LF; none when the line does not exist. A text
// ending in LF has an empty last line; an empty text has line 1.
std::optional<TextRange> lineRange(const TextView::TextStorage &text, long long line);

} // namespace Editor
