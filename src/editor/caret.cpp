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

std::size_t caretLocation(const TextView::TextStorage &text, CaretPosition position)
{
    const std::size_t lines = std::max<std::size_t>(text.lineCount(), 1);
    const std::size_t line = std::size_t(std::clamp<long long>(position.line, 1, (long long)lines)) - 1;
    if (line >= text.lineCount())
        return 0;
    const std::size_t start = text.lineStart(line);
    const std::size_t length = text.lineLength(line);
    const std::size_t steps = std::size_t(std::max(position.column, 1LL) - 1);
    // Past the limit caretPosition counts units, so the column is an offset there.
    if (steps > Base::Text::graphemeColumnLimit)
        return start + std::min(steps, length);
    // Clusters start within the limit; the one that crosses it needs its tail read too.
    const std::u16string head = text.text(start, std::min(length, Base::Text::graphemeColumnLimit + 64));
    std::size_t offset = 0;
    for (std::size_t counted = 0; counted < steps && offset < head.size(); ++counted)
        offset = Base::Text::nextGraphemeBoundary(head, offset);
    return start + offset;
}

std::optional<TextRange> lineRange(const TextView::TextStorage &text, long long line)
{
    if (line < 1 || std::size_t(line) > text.lineCount())
        return std::nullopt;
    const std::size_t index = std::size_t(line) - 1;
    return TextRange{text.lineStart(index), text.lineLength(index)};
}

} // namespace Editor
