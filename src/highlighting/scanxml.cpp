// XML colouring in one pass: entity references, comments, CDATA sections and tags with their
// names and attributes. Text content between tags keeps the base colour.
#include "highlighting/scanner_p.h"

#include <algorithm>

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

// Entity references are recognised only when their ";" is this close to the "&".
constexpr std::size_t entityReach = 12;

// Position of the first `needle` (three units) at or after `from`, or `n`.
std::size_t findTriple(const char16_t *s, std::size_t from, std::size_t n, std::u16string_view needle)
{
    while (n - from >= 3) {
        from = findUnit(s, from, n - 2, needle[0]);
        if (from >= n - 2)
            break;
        if (s[from + 1] == needle[1] && s[from + 2] == needle[2])
            return from;
        ++from;
    }
    return n;
}

constexpr bool endsElementName(char16_t c)
{
    return c == u'\t' || c == u' ' || c == u'>' || c == u'/';
}

constexpr bool endsAttributeName(char16_t c)
{
    return c == u'\t' || c == u' ' || c == u'=' || c == u'>' || c == u'/';
}

// The tag [start, end): "<" at start, its last unit at end - 1 (">" unless the text ended).
void xmlTag(const char16_t *s, std::size_t start, std::size_t end, std::uint8_t *classes)
{
    classes[start] = Punctuation;
    const std::size_t last = end - 1;
    if (last > start && s[last] == u'>')
        classes[last] = Punctuation;
    // From here on the scan stops before the tag's last unit, whatever it is.
    const std::size_t scanEnd = last;
    std::size_t p = start + 1;
    if (p < scanEnd && (s[p] == u'!' || s[p] == u'/' || s[p] == u'?'))
        classes[p++] = Punctuation;
    const std::size_t nameStart = p;
    while (p < scanEnd && !endsElementName(s[p]))
        ++p;
    paint(classes, nameStart, p, Keyword);
    while (p < scanEnd) {
        while (p < scanEnd && isBlank(s[p]))
            ++p;
        if (p >= scanEnd)
            break;
        if (s[p] == u'/' || s[p] == u'?') {
            classes[p++] = Punctuation;
            continue;
        }
        const std::size_t attributeStart = p;
        while (p < scanEnd && !endsAttributeName(s[p]))
            ++p;
        paint(classes, attributeStart, p, Property);
        if (p < scanEnd && s[p] == u'=') {
            classes[p++] = Punctuation;
            if (p < scanEnd && (s[p] == u'"' || s[p] == u'\'')) {
                const std::size_t valueEnd = scanQuoted(s, p, scanEnd);
                paint(classes, p, valueEnd, String);
                p = valueEnd;
            }
        } else if (p == attributeStart) {
            ++p; // Cannot happen (a ">" before the last unit would have ended the tag); keeps progress certain.
        }
    }
}

} // namespace

void xml(const char16_t *s, std::size_t n, std::uint8_t *classes)
{
    // The first ";" after the current "&" (or n), kept while it lies ahead: a run of "&" is then
    // searched once in all, not twelve units per "&".
    std::size_t nextSemicolon = 0;
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = s[i];
        if (c == u'&') {
            if (nextSemicolon <= i)
                nextSemicolon = findUnit(s, i + 1, n, u';');
            const std::size_t semicolon = nextSemicolon;
            if (semicolon < n && semicolon - i <= entityReach) {
                paint(classes, i, semicolon + 1, Constant);
                i = semicolon + 1;
            } else {
                ++i;
            }
        } else if (c == u'<') {
            std::size_t end;
            if (n - i >= 4 && s[i + 1] == u'!' && s[i + 2] == u'-' && s[i + 3] == u'-') {
                const std::size_t close = findTriple(s, i + 4, n, u"-->");
                end = close < n ? close + 3 : n;
                paint(classes, i, end, Comment);
            } else if (matchesAt(s, i, n, u"<![CDATA[")) {
                const std::size_t close = findTriple(s, i + 9, n, u"]]>");
                end = close < n ? close + 3 : n;
                paint(classes, i, end, String);
            } else {
                const std::size_t close = findUnit(s, i + 1, n, u'>');
                end = close < n ? close + 1 : n;
                xmlTag(s, i, end, classes);
            }
            i = end;
        } else {
            ++i;
        }
    }
}

} // namespace Highlighting::SyntaxHighlighter::Internal
