#include "caret.h"

#include "editor/linestarts.h"

#include <algorithm>

namespace Editor {

CaretPosition caretPosition(std::u16string_view text, const std::vector<std::size_t> &lineStarts,
                            std::size_t location)
{
    const std::size_t position = std::min(location, text.size());
    const std::size_t line = lineIndexOf(lineStarts, position);
    const std::size_t start = lineStarts[line];
    return {(long long)line + 1, caretColumn(text.substr(start, position - start))};
}

} // namespace Editor
