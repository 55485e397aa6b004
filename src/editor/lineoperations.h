#pragma once

#include "editor/textrange.h"

#include <optional>
#include <string>
#include <string_view>

namespace Editor {

// The single edit that turns `oldText` into `newText`: replace `replaced` (in the old text)
// with `inserted` (a range of the new text). Common prefix and suffix are left alone, and the
// edges never split a surrogate pair, so undo restores exactly the changed span.
struct Replacement {
    TextRange replaced;
    TextRange inserted;
    bool operator==(const Replacement &) const = default;
};
std::optional<Replacement> minimalReplacement(std::u16string_view oldText, std::u16string_view newText);

// A line operation's whole new text and where the caret goes.
struct LineOperationResult {
    std::u16string text;
    std::size_t caret = 0;
    bool operator==(const LineOperationResult &) const = default;
};

// Duplicates the lines the selection touches below themselves; the caret lands at the same
// column of the copy.
LineOperationResult duplicateLines(std::u16string_view text, TextRange selection);

enum class Direction { Up, Down };

// Swaps the caret's line with its neighbour, keeping the caret's column where the line allows.
// None at the first line going up or the last line going down.
std::optional<LineOperationResult> moveLine(std::u16string_view text, std::size_t caret, Direction direction);

} // namespace Editor
