#include "caret.h"

#include "textview/textstorage.h"

#include "base/text.h"

#include <algorithm>

namespace Editor {

CaretPosition caretPosition(const TextView::TextStorage &text, std::size_t location)
{
    const std::size_t position = std::min(location, text.length());
    const std::size_t line = text.lineAt(position);
    const std::size_t start = text.lineStart(line);
    const std::size_t offset = position - start;
    // A long line counts units without copying what precedes the caret.
    const long long column = offset > Base::Text::graphemeColumnLimit ? (long long)offset + 1
                                                                       : Base::Text::caretColumn(text.text(start, offset));
    return {(long long)line + 1, column};
}

std::optional<TextRange> lineRange(const TextView::TextStorage &text, long long line)
{
    if (line < 1 || std::size_t(line) > text.lineCount())
        return std::nullopt;
    const std::size_t index = std::size_t(line) - 1;
    return TextRange{text.lineStart(index), text.lineLength(index)};
}

} // namespace Editor
