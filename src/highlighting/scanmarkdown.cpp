// Markdown colouring line by line: fenced code (``` or ~~~), headings, block quotes, list
// markers, and inside other lines links written as [text](target) and `code` spans.
#include "highlighting/scanner_p.h"

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

// The next `unit` at or after a position in [from, lineEnd), remembering the last answer: it
// stays valid for every later query up to the unit found, so a line of 10^6 "[" without a "]"
// is searched once rather than once per "[".
class NextUnit {
public:
    NextUnit(const char16_t *s, std::size_t lineEnd, char16_t unit) : m_s(s), m_lineEnd(lineEnd), m_unit(unit) {}

    std::size_t from(std::size_t position)
    {
        if (!m_valid || position < m_from || position > m_found) {
            m_found = findUnit(m_s, position, m_lineEnd, m_unit);
            m_from = position;
            m_valid = true;
        }
        return m_found;
    }

private:
    const char16_t *m_s;
    std::size_t m_lineEnd;
    char16_t m_unit;
    bool m_valid = false;
    std::size_t m_from = 0;
    std::size_t m_found = 0; // First m_unit at or after m_from, or m_lineEnd.
};

void inlineSpans(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes)
{
    NextUnit closeBracket(s, lineEnd, u']');
    NextUnit closeParenthesis(s, lineEnd, u')');
    NextUnit backquote(s, lineEnd, u'`');
    std::size_t i = lineStart;
    while (i < lineEnd) {
        const char16_t c = s[i];
        if (c == u'[') {
            const std::size_t bracket = closeBracket.from(i + 1);
            if (bracket + 2 < lineEnd && s[bracket + 1] == u'(') {
                const std::size_t parenthesis = closeParenthesis.from(bracket + 2);
                if (parenthesis < lineEnd) {
                    paint(classes, i, bracket + 1, Property);
                    paint(classes, bracket + 1, parenthesis + 1, Constant);
                    i = parenthesis + 1;
                    continue;
                }
            }
        } else if (c == u'`') {
            const std::size_t close = backquote.from(i + 1);
            if (close < lineEnd) {
                paint(classes, i, close + 1, String);
                i = close + 1;
                continue;
            }
        }
        ++i;
    }
}

} // namespace

bool fenceLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd)
{
    std::size_t p = lineStart;
    while (p < lineEnd && isBlank(s[p]))
        ++p;
    if (lineEnd - p < 3)
        return false;
    const char16_t c = s[p];
    return (c == u'`' || c == u'~') && s[p + 1] == c && s[p + 2] == c;
}

void markdown(const char16_t *s, std::size_t n, std::uint8_t *classes)
{
    bool inFence = false;
    std::size_t lineStart = 0;
    while (lineStart < n) {
        const std::size_t lineEnd = lineEndFrom(s, lineStart, n);
        const std::size_t nextStart = lineEnd + 1;
        if (fenceLine(s, lineStart, lineEnd)) {
            paint(classes, lineStart, lineEnd, Keyword);
            inFence = !inFence;
        } else if (inFence) {
            paint(classes, lineStart, lineEnd, String);
        } else if (lineStart < lineEnd) {
            std::size_t p = lineStart;
            while (p < lineEnd && isBlank(s[p]))
                ++p;
            const char16_t c = p < lineEnd ? s[p] : u' ';
            if (c == u'#') {
                paint(classes, lineStart, lineEnd, Keyword);
            } else if (c == u'>') {
                paint(classes, lineStart, lineEnd, Comment);
            } else {
                if (c == u'*' || c == u'+' || c == u'-') {
                    if (p + 1 < lineEnd && isBlank(s[p + 1]))
                        classes[p] = Punctuation;
                } else if (isDigit(c)) {
                    std::size_t q = p;
                    while (q < lineEnd && isDigit(s[q]))
                        ++q;
                    if (q + 1 < lineEnd && s[q] == u'.' && isBlank(s[q + 1]))
                        paint(classes, p, q + 1, Number);
                }
                inlineSpans(s, lineStart, lineEnd, classes);
            }
        }
        lineStart = nextStart;
    }
}

} // namespace Highlighting::SyntaxHighlighter::Internal
