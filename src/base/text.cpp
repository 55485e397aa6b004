#include "text.h"

#include "base/utf.h"

#include <algorithm>

#include <utf8proc.h>

namespace Base::Text {

std::u16string_view trimmed(std::u16string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin]))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::size_t graphemeCount(std::u16string_view text, std::size_t limit)
{
    // ASCII needs no tables: every unit is a character except the LF of a CR LF pair.
    bool ascii = true;
    std::size_t crlf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80) {
            ascii = false;
            break;
        }
        if (text[i] == u'\n' && i > 0 && text[i - 1] == u'\r')
            ++crlf;
    }
    if (ascii)
        return std::min(limit, text.size() - crlf);

    std::size_t count = 0;
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        utf8proc_int32_t scalar = text[i];
        if (Utf::isHighSurrogate(text[i]) && i + 1 < text.size() && Utf::isLowSurrogate(text[i + 1])) {
            scalar = 0x10000 + ((scalar - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (Utf::isSurrogate(text[i])) {
            scalar = 0xFFFD;
        }
        if (previous < 0 || utf8proc_grapheme_break_stateful(previous, scalar, &state)) {
            if (count == limit)
                return limit;
            ++count;
        }
        previous = scalar;
    }
    return count;
}

long long caretColumn(std::u16string_view lineUpToPosition)
{
    if (lineUpToPosition.size() > graphemeColumnLimit)
        return (long long)lineUpToPosition.size() + 1;
    return (long long)graphemeCount(lineUpToPosition) + 1;
}

} // namespace Base::Text
