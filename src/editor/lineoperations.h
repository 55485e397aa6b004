#pragma once

#include "textview/textrange.h"

#include <optional>
#include <string>
#include <string_view>

namespace TextView {
class TextStorage;
}

namespace Editor {

using TextView::TextRange;

// The single edit that turns `oldText` into `newText`: replace `replaced` (in the old text)
// with `inserted` (a range of the new text). Common prefix and suffix are left alone, and the
// edges never split a surrogate pair, so undo restores exactly the changed span.
struct Replacement {
    TextRange replaced;
    TextRange inserted;
    bool operator==(const Replacement &) const = default;
};
std::optional<Replacement> minimalReplacement(std::u16string_view oldText, std::u16string_view newText);

// What a line operation does: replace `replaced` (a range of the text before) by `replacement`,
// then select `selection` (a range of the text after). Applied as one edit, it is one undo step;
// an empty `replaced` with an empty `replacement` changes nothing but the selection.
struct LineEdit {
    TextRange replaced;
    std::u16string replacement;
    TextRange selection;
    bool operator==(const LineEdit &) const = default;
};

// Duplicates the lines the selection touches below themselves; the caret lands at the same
// column of the copy. Reads only those lines.
LineEdit duplicateLines(const TextView::TextStorage &text, TextRange selection);

enum class Direction { Up, Down };

// Swaps the caret's line with its neighbour, keeping the caret's column where the line allows;
// the edit covers only what differs between the two orders. A caret on the empty line after a
// final LF moves the last line, caret at its start. None at the first line going up or the last
// line going down. Reads only the two lines.
std::optional<LineEdit> moveLine(const TextView::TextStorage &text, std::size_t caret, Direction direction);

} // namespace Editor
