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

// The inverse: where a caret at `position` stands, its column counted as caretPosition counts
// it. A line past the last is the last line, a column past the line's end its end; numbers
// below 1 count as 1.
std::size_t caretLocation(const TextView::TextStorage &text, CaretPosition position);

// The characters of 1-based `line` without its LF; none when the line does not exist. A text
// ending in LF has an empty last line; an empty text has line 1.
std::optional<TextRange> lineRange(const TextView::TextStorage &text, long long line);

} // namespace Editor
