#pragma once

#include "editor/textrange.h"

#include <optional>
#include <string_view>
#include <vector>

namespace Editor {

// Offsets where lines start: always begins with 0, then one entry after every LF. A text ending
// in LF therefore has a last entry equal to its length (an empty last line).
std::vector<std::size_t> computeLineStarts(std::u16string_view text);

// Index of the line holding `position` (the last start not after it); `starts` is non-empty.
std::size_t lineIndexOf(const std::vector<std::size_t> &starts, std::size_t position);

// The characters of 1-based `line` without its LF; none when the line does not exist.
std::optional<TextRange> lineRange(const std::vector<std::size_t> &starts, std::size_t textLength, long long line);

} // namespace Editor
