// JSON and NDJSON colouring: one left-to-right pass; keys and string values are told apart only
// by a ":" after the closing quote on the same line (past spaces and tabs).
#include "highlighting/scanner_p.h"

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

// A sign starts a number only after one of these (or at the start of the text), so the "-" of
// "a-2" stays uncoloured while its "2" is a number.
constexpr bool signMayFollow(char16_t c)
{
    return c == 0 || c == u'\t' || c == u'\n' || c == u' ' || c == u'(' || c == u',' || c == u':' || c == u'[';
}

// End of the string opened at `open`: a backslash skips the next unit (whatever it is), a line
// feed ends the string before itself, a quote after itself; unterminated strings run to `n`.
inline std::size_t jsonStringEnd(const char16_t *s, std::size_t open, std::size_t n)
{
    std::size_t j = open + 1;
    while (j < n) {
        j = findAnyOf3(s, j, n, u'"', u'\\', u'\n');
        if (j >= n)
            break;
        const char16_t c = s[j];
        if (c == u'\\')
            j = n - j >= 2 ? j + 2 : n;
        else
            return c == u'"' ? j + 1 : j;
    }
    return n;
}

// Length of the literal at `at` ("true", "false", "null") when it is followed by a non-word
// unit or the text end; 0 otherwise.
inline std::size_t literalLength(const char16_t *s, std::size_t at, std::size_t n)
{
    for (std::u16string_view word : {std::u16string_view(u"true"), std::u16string_view(u"false"),
                                     std::u16string_view(u"null")}) {
        if (matchesAt(s, at, n, word) && (at + word.size() == n || !isWord(s[at + word.size()])))
            return word.size();
    }
    return 0;
}

} // namespace

void json(const char16_t *s, std::size_t n, std::uint8_t *classes)
{
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = s[i];
        switch (c) {
        case u',':
        case u':':
        case u'[':
        case u']':
        case u'{':
        case u'}':
            classes[i++] = Punctuation;
            break;
        case u'"': {
            const std::size_t end = jsonStringEnd(s, i, n);
            std::size_t k = end;
            while (k < n && isBlank(s[k]))
                ++k;
            paint(classes, i, end, k < n && s[k] == u':' ? Property : String);
            i = end;
            break;
        }
        case u'/':
            if (i + 1 < n && s[i + 1] == u'/') {
                const std::size_t end = lineEndFrom(s, i, n);
                paint(classes, i, end, Comment);
                i = end;
            } else {
                ++i;
            }
            break;
        case u't':
        case u'f':
        case u'n': {
            const std::size_t length = (i == 0 || !isWord(s[i - 1])) ? literalLength(s, i, n) : 0;
            if (length) {
                paint(classes, i, i + length, Constant);
                i += length;
            } else {
                ++i;
            }
            break;
        }
        case u'-':
        case u'+':
            if (i > 0 && !signMayFollow(s[i - 1])) {
                ++i;
                break;
            }
            [[fallthrough]];
        case u'0': case u'1': case u'2': case u'3': case u'4':
        case u'5': case u'6': case u'7': case u'8': case u'9': {
            i = paintNumberOrStep(s, i, n, classes);
            break;
        }
        default:
            ++i;
        }
    }
}

} // namespace Highlighting::SyntaxHighlighter::Internal
