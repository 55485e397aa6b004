#include "text.h"

#include "base/utf.h"

#include <algorithm>
#include <array>
#include <cstdint>

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

Scalar scalarAt(std::u16string_view text, std::size_t position)
{
    const char16_t unit = text[position];
    if (Utf::isHighSurrogate(unit) && position + 1 < text.size() && Utf::isLowSurrogate(text[position + 1]))
        return {0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[position + 1]) - 0xDC00), 2};
    return {Utf::isSurrogate(unit) ? char32_t(0xFFFD) : char32_t(unit), 1};
}

Scalar scalarBefore(std::u16string_view text, std::size_t position)
{
    const char16_t unit = text[position - 1];
    if (Utf::isLowSurrogate(unit) && position >= 2 && Utf::isHighSurrogate(text[position - 2]))
        return scalarAt(text, position - 2);
    return {Utf::isSurrogate(unit) ? char32_t(0xFFFD) : char32_t(unit), 1};
}

std::size_t nextGraphemeBoundary(std::u16string_view text, std::size_t position)
{
    if (position >= text.size())
        return text.size();
    utf8proc_int32_t state = 0;
    Scalar previous = scalarAt(text, position);
    std::size_t at = position + previous.units;
    while (at < text.size()) {
        const Scalar next = scalarAt(text, at);
        if (utf8proc_grapheme_break_stateful(utf8proc_int32_t(previous.value), utf8proc_int32_t(next.value), &state))
            return at;
        previous = next;
        at += next.units;
    }
    return text.size();
}

std::size_t previousGraphemeBoundary(std::u16string_view text, std::size_t position)
{
    position = std::min(position, text.size());
    if (position == 0)
        return 0;
    // Boundaries depend on what precedes them (emoji sequences, flag pairs): walk forwards from
    // the start, which is a boundary by definition, and keep the last one before `position`.
    utf8proc_int32_t state = 0;
    Scalar previous = scalarAt(text, 0);
    std::size_t at = previous.units;
    std::size_t last = 0;
    while (at < position) {
        const Scalar next = scalarAt(text, at);
        if (utf8proc_grapheme_break_stateful(utf8proc_int32_t(previous.value), utf8proc_int32_t(next.value), &state))
            last = at;
        previous = next;
        at += next.units;
    }
    return last;
}

bool isWordCharacter(char32_t scalar)
{
    if (scalar == U'_')
        return true;
    if (scalar < 0x80)
        return (scalar >= U'0' && scalar <= U'9') || ((scalar | 0x20) >= U'a' && (scalar | 0x20) <= U'z');
    switch (utf8proc_category(utf8proc_int32_t(scalar))) {
    case UTF8PROC_CATEGORY_LU: case UTF8PROC_CATEGORY_LL: case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM: case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_MN: case UTF8PROC_CATEGORY_MC: case UTF8PROC_CATEGORY_ME:
    case UTF8PROC_CATEGORY_ND: case UTF8PROC_CATEGORY_NL: case UTF8PROC_CATEGORY_NO:
        return true;
    default:
        return false;
    }
}

namespace {

using FoldTable = std::array<char16_t, 0x10000>;

FoldTable makeFoldTable()
{
    FoldTable table{};
    for (std::uint32_t unit = 0; unit < table.size(); ++unit) {
        table[unit] = char16_t(unit);
        if (Utf::isSurrogate(char16_t(unit)))
            continue;
        utf8proc_int32_t folded[4];
        utf8proc_int32_t boundary = 0;
        const utf8proc_ssize_t count
            = utf8proc_decompose_char(utf8proc_int32_t(unit), folded, 4, UTF8PROC_CASEFOLD, &boundary);
        if (count == 1) {
            table[unit] = char16_t(folded[0]);
        } else if (count > 1 && unit != 0x0130) {
            // utf8proc gives the full folding; where that is several characters, the simple
            // folding (status S) is the lower case mapping. U+0130 has only a full and a Turkic
            // folding, so it stays as it is.
            table[unit] = char16_t(utf8proc_tolower(utf8proc_int32_t(unit)));
        }
    }
    return table;
}

} // namespace

char16_t foldCase(char16_t unit)
{
    if (unit < 0x80)
        return unit >= u'A' && unit <= u'Z' ? char16_t(unit + 0x20) : unit;
    static const FoldTable table = makeFoldTable();
    return table[unit];
}

long long caretColumn(std::u16string_view lineUpToPosition)
{
    if (lineUpToPosition.size() > graphemeColumnLimit)
        return (long long)lineUpToPosition.size() + 1;
    return (long long)graphemeCount(lineUpToPosition) + 1;
}

} // namespace Base::Text
