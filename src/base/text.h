#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

// Unicode text rules shared by every engine, so that what one view counts the others agree with.
namespace Base::Text {

// White space and line breaks as Unicode defines them: U+0009–U+000D, U+0085 and the separators
// (categories Zs, Zl, Zp). All lie in the BMP, so a UTF-16 unit can be tested on its own.
constexpr bool isWhitespaceOrNewline(char16_t c)
{
    if (c <= 0x20)
        return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85)
        return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029
           || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `text` without leading and trailing white space and line breaks.
std::u16string_view trimmed(std::u16string_view text);

// User-perceived characters (extended grapheme clusters) in `text`: an emoji sequence or a
// letter with combining marks counts once, an unpaired surrogate counts as one character.
// Counting stops at `limit` (the result is then `limit`).
std::size_t graphemeCount(std::u16string_view text, std::size_t limit = std::numeric_limits<std::size_t>::max());

// The scalar value starting at `position` (< text.size()) and the units it takes: a surrogate
// pair decodes to one scalar of two units, an unpaired surrogate reads as U+FFFD of one unit.
struct Scalar {
    char32_t value = 0;
    std::size_t units = 1;
};
Scalar scalarAt(std::u16string_view text, std::size_t position);
// The scalar ending just before `position` (> 0), read backwards the same way.
Scalar scalarBefore(std::u16string_view text, std::size_t position);

// Grapheme cluster boundaries by the rule graphemeCount() counts with (extended grapheme
// clusters, UAX #29, through utf8proc). `text` is taken as a whole: its start is a boundary
// whatever precedes it, and so is its end.
// The first boundary after `position`; text.size() when `position` is at or past the end.
std::size_t nextGraphemeBoundary(std::u16string_view text, std::size_t position);
// The last boundary before `position` (clamped to text.size()); 0 when `position` is 0.
std::size_t previousGraphemeBoundary(std::u16string_view text, std::size_t position);

// Word characters: letters, marks and numbers (general categories L*, M*, N*) and the
// underscore. The word count and the caret's word movement both go by this rule.
bool isWordCharacter(char32_t scalar);

// Lines longer than this many code units count columns in code units: counting grapheme
// clusters of a 50 MB single-line file on every caret move would stall typing.
inline constexpr std::size_t graphemeColumnLimit = 4096;

// The 1-based column of a position preceded on its line by `lineUpToPosition`, as the status
// bar shows the caret and as validation reports a fault.
long long caretColumn(std::u16string_view lineUpToPosition);

// `unit` under Unicode's simple case folding (the one-to-one mappings of CaseFolding.txt,
// statuses C and S; the Turkic ones are not applied), as case-insensitive find compares text in
// every view. Surrogates fold to themselves: one unit always folds to one unit, so an offset in
// folded text is the same offset in the original.
char16_t foldCase(char16_t unit);

} // namespace Base::Text
