#include "caret.h"

#include "editor/linestarts.h"

#include "base/utf.h"

#include <algorithm>

#include <utf8proc.h>

namespace Editor {

namespace {

// Decodes the code point at `i`, advancing it; unpaired surrogates stand for themselves.
char32_t codePointAt(std::u16string_view text, std::size_t &i)
{
    const char16_t unit = text[i++];
    if (Base::Utf::isHighSurrogate(unit) && i < text.size() && Base::Utf::isLowSurrogate(text[i]))
        return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
    return unit;
}

} // namespace

std::size_t graphemeCount(std::u16string_view text)
{
    std::size_t count = 0;
    std::size_t i = 0;
    utf8proc_int32_t state = 0;
    char32_t previous = 0;
    while (i < text.size()) {
        const char32_t current = codePointAt(text, i);
        if (count == 0 || utf8proc_grapheme_break_stateful(utf8proc_int32_t(previous), utf8proc_int32_t(current), &state))
            ++count;
        previous = current;
    }
    return count;
}

long long caretColumn(std::u16string_view lineUpToCaret)
{
    if (lineUpToCaret.size() > graphemeColumnLimit)
        return (long long)lineUpToCaret.size() + 1;
    return (long long)graphemeCount(lineUpToCaret) + 1;
}

CaretPosition caretPosition(std::u16string_view text, const std::vector<std::size_t> &lineStarts,
                            std::size_t location)
{
    const std::size_t position = std::min(location, text.size());
    const std::size_t line = lineIndexOf(lineStarts, position);
    const std::size_t start = lineStarts[line];
    return {(long long)line + 1, caretColumn(text.substr(start, position - start))};
}

} // namespace Editor
