// TOML colouring, one line at a time: table headers, comments and key/value lines. Multi-line
// strings and arrays get no special treatment; each line is classified on its own.
#include "highlighting/scanner_p.h"

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

void tomlValue(const char16_t *s, std::size_t start, std::size_t end, std::uint8_t *classes)
{
    std::size_t i = start;
    while (i < end) {
        const char16_t c = s[i];
        switch (c) {
        case u',':
        case u'=':
        case u'[':
        case u']':
        case u'{':
        case u'}':
            classes[i++] = Punctuation;
            break;
        case u'"':
        case u'\'':
            i = paintQuoted(s, i, end, classes);
            break;
        case u'-':
        case u'+':
        case u'0': case u'1': case u'2': case u'3': case u'4':
        case u'5': case u'6': case u'7': case u'8': case u'9': {
            // No look-behind here: a date such as 1979-05-27 colours as "1979", "-05", "-27".
            i = paintNumberOrStep(s, i, end, classes);
            break;
        }
        case u't':
        case u'f': {
            const std::u16string_view word = c == u't' ? u"true" : u"false";
            if ((i == 0 || !isWord(s[i - 1])) && matchesAt(s, i, end, word)
                && (i + word.size() == end || !isWord(s[i + word.size()]))) {
                paint(classes, i, i + word.size(), Constant);
                i += word.size();
            } else {
                ++i;
            }
            break;
        }
        default:
            // Includes "#": a comment after a value is left uncoloured.
            ++i;
        }
    }
}

void tomlLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes)
{
    std::size_t start = lineStart;
    while (start < lineEnd && isBlank(s[start]))
        ++start;
    if (start == lineEnd)
        return;
    if (s[start] == u'[') {
        paint(classes, start, lineEnd, Type);
        return;
    }
    if (s[start] == u'#') {
        paint(classes, start, lineEnd, Comment);
        return;
    }
    // Key/value line: the first "=" outside quotes.
    char16_t quote = 0;
    std::size_t p = start;
    while (p < lineEnd) {
        const char16_t c = s[p];
        if (quote) {
            if (c == u'\\' && p + 1 < lineEnd)
                p += 2;
            else {
                if (c == quote)
                    quote = 0;
                ++p;
            }
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'=') {
            break;
        } else if (c == u'#' && p > start && isBlank(s[p - 1])) {
            paint(classes, p, lineEnd, Comment);
            return;
        }
        ++p;
    }
    if (p >= lineEnd || p == start)
        return;
    std::size_t keyEnd = p;
    while (keyEnd > start && isBlank(s[keyEnd - 1]))
        --keyEnd;
    paint(classes, start, keyEnd, Property);
    classes[p] = Punctuation;
    tomlValue(s, p + 1, lineEnd, classes);
}

} // namespace

void toml(const char16_t *s, std::size_t n, std::uint8_t *classes)
{
    std::size_t start = 0;
    while (start < n) {
        const std::size_t end = lineEndFrom(s, start, n);
        tomlLine(s, start, end, classes);
        start = end + 1;
    }
}

} // namespace Highlighting::SyntaxHighlighter::Internal
