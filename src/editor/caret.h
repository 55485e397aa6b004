#pragma once

#include "editor/textrange.h"

#include "base/text.h"

#include <string_view>
#include <vector>

namespace Editor {

using Base::Text::caretColumn;
using Base::Text::graphemeColumnLimit;
using Base::Text::graphemeCount;

// The caret position of `location` (clamped to the text) using the text's line starts.
CaretPosition caretPosition(std::u16string_view text, const std::vector<std::size_t> &lineStarts,
                            std::size_t location);

} // namespace Editor
