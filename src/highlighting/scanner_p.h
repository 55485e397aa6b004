#pragma once

#include "highlighting/syntaxclass.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Building blocks shared by the per-kind scanners. Every scanner works on a raw pointer and
// length (the public functions check sizes once), reads only inside [0, n) and writes only the
// class bytes of positions it was given.
namespace Highlighting::SyntaxHighlighter::Internal {

constexpr std::uint8_t classByte(SyntaxClass syntaxClass)
{
    return static_cast<std::uint8_t>(syntaxClass);
}

inline constexpr std::uint8_t Keyword = classByte(SyntaxClass::Keyword);
inline constexpr std::uint8_t String = classByte(SyntaxClass::String);
inline constexpr std::uint8_t Number = classByte(SyntaxClass::Number);
inline constexpr std::uint8_t Comment = classByte(SyntaxClass::Comment);
inline constexpr std::uint8_t Punctuation = classByte(SyntaxClass::Punctuation);
inline constexpr std::uint8_t Property = classByte(SyntaxClass::Property);
inline constexpr std::uint8_t Type = classByte(SyntaxClass::Type);
inline constexpr std::uint8_t Constant = classByte(SyntaxClass::Constant);

constexpr bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

constexpr bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// ASCII letters, digits and "_", looked up in a table: this test runs for most units of a line.
inline constexpr auto wordTable = [] {
    std::array<bool, 128> table{};
    for (char16_t c = 0; c < 128; ++c)
        table[c] = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    return table;
}();

constexpr bool isWord(char16_t c)
{
    return c < 128 && wordTable[c];
}

// Colours [from, to); an empty or inverted range colours nothing.
inline void paint(std::uint8_t *classes, std::size_t from, std::size_t to, std::uint8_t syntaxClass)
{
    if (to > from)
        std::memset(classes + from, syntaxClass, to - from);
}

// First position of `c` in [from, end), or `end` (or `from` when from >= end). Eight units at a
// time where SSE2 is available: line ends, closing quotes and tag ends are the long searches.
inline std::size_t findUnit(const char16_t *s, std::size_t from, std::size_t end, char16_t c)
{
    if (from >= end)
        return from;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    while (end - from >= 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + from));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(chunk, needle));
        if (mask)
            return from + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        from += 8;
    }
#endif
    while (from < end && s[from] != c)
        ++from;
    return from;
}

// First position in [from, end) holding any of the three units, or `end`.
inline std::size_t findAnyOf3(const char16_t *s, std::size_t from, std::size_t end, char16_t a, char16_t b,
                              char16_t c)
{
    if (from >= end)
        return from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi16(static_cast<short>(a));
    const __m128i second = _mm_set1_epi16(static_cast<short>(b));
    const __m128i third = _mm_set1_epi16(static_cast<short>(c));
    while (end - from >= 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + from));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(chunk, first), _mm_cmpeq_epi16(chunk, second)),
                                          _mm_cmpeq_epi16(chunk, third));
        const int mask = _mm_movemask_epi8(hits);
        if (mask)
            return from + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        from += 8;
    }
#endif
    while (from < end && s[from] != a && s[from] != b && s[from] != c)
        ++from;
    return from;
}

// First line feed at or after `from`, or `n`.
inline std::size_t lineEndFrom(const char16_t *s, std::size_t from, std::size_t n)
{
    return findUnit(s, from, n, u'\n');
}

// True when s[at, at + word.size()) equals `word` and fits before `end`.
inline bool matchesAt(const char16_t *s, std::size_t at, std::size_t end, std::u16string_view word)
{
    if (end - at < word.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (s[at + k] != word[k])
            return false;
    return true;
}

// A quoted string opened by the quote at `open` and scanned up to `end`: a backslash skips two
// units (one when it is the last before `end`), the same quote closes the string after itself,
// a line feed or `end` closes it before. Returns the string's end.
inline std::size_t scanQuoted(const char16_t *s, std::size_t open, std::size_t end)
{
    const char16_t quote = s[open];
    std::size_t j = open + 1;
    while (j < end) {
        j = findAnyOf3(s, j, end, u'\\', quote, u'\n');
        if (j >= end)
            break;
        const char16_t c = s[j];
        if (c == u'\\') {
            j = end - j >= 2 ? j + 2 : end;
        } else if (c == quote) {
            return j + 1;
        } else if (c == u'\n') {
            return j;
        } else {
            ++j;
        }
    }
    return end;
}

std::size_t scanNumber(const char16_t *s, std::size_t start, std::size_t limit);
bool isNumeric(const char16_t *s, std::size_t n);

// Paints the number literal that starts at `i` (before `end`) and returns the index after it;
// returns i + 1 when no number starts there, so scanners step over a lone sign.
inline std::size_t paintNumberOrStep(const char16_t *s, std::size_t i, std::size_t end, std::uint8_t *classes)
{
    const std::size_t numberEnd = scanNumber(s, i, end);
    if (numberEnd == i)
        return i + 1;
    paint(classes, i, numberEnd, Number);
    return numberEnd;
}

// Paints the quoted string that opens at `i` (up to its closing quote or `end`) and returns the
// index after it.
inline std::size_t paintQuoted(const char16_t *s, std::size_t i, std::size_t end, std::uint8_t *classes)
{
    const std::size_t stringEnd = scanQuoted(s, i, end);
    paint(classes, i, stringEnd, String);
    return stringEnd;
}

void json(const char16_t *s, std::size_t n, std::uint8_t *classes);
void toml(const char16_t *s, std::size_t n, std::uint8_t *classes);
void yamlLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes);
void xml(const char16_t *s, std::size_t n, std::uint8_t *classes);
bool fenceLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd);
void markdown(const char16_t *s, std::size_t n, std::uint8_t *classes);
void logLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes);

} // namespace Highlighting::SyntaxHighlighter::Internal
