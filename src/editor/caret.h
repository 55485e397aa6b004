#pragma once

#include "editor/textrange.h"

#include <string_view>
#include <vector>

namespace Editor {

// Lines past this many code units count columns in code units: counting grapheme clusters of a
// 50 MB single-line file on every caret move would stall typing.
inline constexpr std::size_t graphemeColumnLimit = 4096;

// Number of extended grapheme clusters in `text`; an emoji sequence or a letter with combining
// marks counts once.
std::size_t graphemeCount(std::u16string_view text);

// The 1-based column of a caret preceded on its line by `lineUpToCaret`.
long long caretColumn(std::u16string_view lineUpToCaret);

// The caret position of `location` (clamped to the text) using the text's line starts.
CaretPosition caretPosition(std::u16string_view text, const std::vector<std::size_t> &lineStarts,
                            std::size_t location);

} // namespace Editor
