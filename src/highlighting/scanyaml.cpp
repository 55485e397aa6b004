// YAML colouring, one line per call: comments, document markers, list dashes, keys, and the
// value after the key (anchors, tags, quoted and block scalars, flow collections, and plain
// scalars that are constants or numbers).
#include "highlighting/scanner_p.h"

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

// Space separators (Unicode category Zs) and tab: the white space trimmed from a plain scalar
// before it is compared with the constant words and tested as a number.
constexpr bool isUnicodeSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F
        || c == 0x205F || c == 0x3000;
}

// The plain-scalar constants, compared after lower-casing. Only ASCII units can lower-case
// into these words, so an ASCII fold is exact.
bool isConstantWord(const char16_t *s, std::size_t n)
{
    if (n == 0 || n > 5)
        return false;
    char16_t lower[5];
    for (std::size_t k = 0; k < n; ++k) {
        const char16_t c = s[k];
        lower[k] = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    }
    const std::u16string_view word(lower, n);
    return word == u"true" || word == u"false" || word == u"yes" || word == u"no" || word == u"on"
        || word == u"off" || word == u"null" || word == u"~";
}

void plainScalar(const char16_t *s, std::size_t start, std::size_t end, std::uint8_t *classes)
{
    std::size_t first = start;
    std::size_t last = end;
    while (first < last && isUnicodeSpace(s[first]))
        ++first;
    while (last > first && isUnicodeSpace(s[last - 1]))
        --last;
    std::uint8_t syntaxClass;
    if (isConstantWord(s + first, last - first))
        syntaxClass = Constant;
    else if (isNumeric(s + first, last - first))
        syntaxClass = Number;
    else
        return;
    // The colour covers the range trimmed of blanks only.
    std::size_t from = start;
    std::size_t to = end;
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    paint(classes, from, to, syntaxClass);
}

void flowCollection(const char16_t *s, std::size_t start, std::size_t end, std::uint8_t *classes)
{
    std::size_t i = start;
    while (i < end) {
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
        case u'"':
        case u'\'':
            i = paintQuoted(s, i, end, classes);
            break;
        case u'-':
        case u'+':
        case u'0': case u'1': case u'2': case u'3': case u'4':
        case u'5': case u'6': case u'7': case u'8': case u'9': {
            i = paintNumberOrStep(s, i, end, classes);
            break;
        }
        default:
            // Words, true/false/null included, stay uncoloured inside a flow collection.
            ++i;
        }
    }
}

void yamlValue(const char16_t *s, std::size_t start, std::size_t end, std::uint8_t *classes)
{
    // A trailing comment: an unquoted "#" after a blank, not at the value's start.
    char16_t quote = 0;
    for (std::size_t p = start; p < end;) {
        const char16_t c = s[p];
        if (quote) {
            if (c == u'\\' && p + 1 < end) {
                p += 2;
                continue;
            }
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'#' && p > start && isBlank(s[p - 1])) {
            paint(classes, p, end, Comment);
            end = p;
            break;
        }
        ++p;
    }
    std::size_t p = start;
    if (p >= end)
        return;
    if (s[p] == u'*' || s[p] == u'&') {
        std::size_t q = p;
        while (q < end && s[q] != u'\t' && s[q] != u' ' && s[q] != u',')
            ++q;
        paint(classes, p, q, Constant);
        p = q;
        while (p < end && isBlank(s[p]))
            ++p;
    }
    if (p < end && s[p] == u'!') {
        std::size_t q = p;
        while (q < end && !isBlank(s[q]))
            ++q;
        paint(classes, p, q, Type);
        p = q;
        while (p < end && isBlank(s[p]))
            ++p;
    }
    if (p >= end)
        return;
    switch (s[p]) {
    case u'"':
    case u'\'':
        // Anything after the closing quote stays uncoloured.
        paint(classes, p, scanQuoted(s, p, end), String);
        break;
    case u'>':
    case u'|':
        // A block-scalar indicator; its indented lines are ordinary lines of their own.
        classes[p] = Keyword;
        break;
    case u'[':
    case u'{':
        flowCollection(s, p, end, classes);
        break;
    default:
        plainScalar(s, p, end, classes);
    }
}

} // namespace

void yamlLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes)
{
    std::size_t start = lineStart;
    while (start < lineEnd && isBlank(s[start]))
        ++start;
    if (start == lineEnd)
        return;
    if (s[start] == u'#') {
        paint(classes, start, lineEnd, Comment);
        return;
    }
    if (s[start] == u'-') {
        if (lineEnd - start >= 3 && s[start + 1] == u'-' && s[start + 2] == u'-') {
            paint(classes, start, start + 3, Keyword);
            start += 3;
        }
        // The list dash and its space are stepped over. After a "---" the unit here need not be
        // a dash ("---x y"): only a dash is coloured, so no letter is painted as punctuation.
        if (start + 1 < lineEnd && s[start + 1] == u' ') {
            if (s[start] == u'-')
                classes[start] = Punctuation;
            start += 2;
        }
    }
    // Key search: ":" followed by a blank or the line end, outside quotes; an unquoted "#" ends
    // the search as a comment.
    char16_t quote = 0;
    std::size_t separator = lineEnd;
    for (std::size_t p = start; p < lineEnd;) {
        const char16_t c = s[p];
        if (quote) {
            if (c == u'\\' && p + 1 < lineEnd) {
                p += 2;
                continue;
            }
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u':' && (p + 1 == lineEnd || isBlank(s[p + 1]))) {
            separator = p;
            break;
        } else if (c == u'#') {
            paint(classes, p, lineEnd, Comment);
            break;
        }
        ++p;
    }
    if (separator < lineEnd && separator > start) {
        std::size_t keyStart = start;
        std::size_t keyEnd = separator;
        while (keyStart < keyEnd && isBlank(s[keyStart]))
            ++keyStart;
        while (keyEnd > keyStart && isBlank(s[keyEnd - 1]))
            --keyEnd;
        paint(classes, keyStart, keyEnd, Property);
        classes[separator] = Punctuation;
        std::size_t valueStart = separator + 1;
        while (valueStart < lineEnd && isBlank(s[valueStart]))
            ++valueStart;
        yamlValue(s, valueStart, lineEnd, classes);
        return;
    }
    yamlValue(s, start, lineEnd, classes);
}

} // namespace Highlighting::SyntaxHighlighter::Internal
