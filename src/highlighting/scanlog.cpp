// LOG colouring, one line per call: a leading date-time stamp, at most one level word, and
// double-quoted strings.
#include "highlighting/scanner_p.h"

#include <array>

namespace Highlighting::SyntaxHighlighter::Internal {

namespace {

struct LevelWord {
    std::u16string_view word;
    std::uint8_t syntaxClass;
};

// In precedence order: a word earlier here wins over one earlier in the line.
constexpr std::array<LevelWord, 8> levelWords = {{
    {u"ERROR", Constant},
    {u"FATAL", Constant},
    {u"CRITICAL", Constant},
    {u"WARN", Number},
    {u"WARNING", Number},
    {u"INFO", Property},
    {u"DEBUG", Comment},
    {u"TRACE", Comment},
}};

constexpr bool continuesTimestamp(char16_t c)
{
    return isDigit(c) || c == u':' || c == u'.' || c == u',' || c == u'+' || c == u'-' || c == u'Z';
}

// End of a "YYYY-MM-DD" or "YYYY/MM/DD" date at the line start, extended over a following
// "T" or space and its run of time units; lineStart when there is none.
std::size_t timestampEnd(const char16_t *s, std::size_t lineStart, std::size_t lineEnd)
{
    if (lineEnd - lineStart < 10)
        return lineStart;
    const char16_t *d = s + lineStart;
    for (std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isDigit(d[k]))
            return lineStart;
    for (std::size_t k : {4, 7})
        if (d[k] != u'-' && d[k] != u'/')
            return lineStart;
    std::size_t end = lineStart + 10;
    if (end < lineEnd && (s[end] == u'T' || s[end] == u' ')) {
        ++end;
        while (end < lineEnd && continuesTimestamp(s[end]))
            ++end;
    }
    return end;
}

// A whole-word occurrence of a level word is exactly a maximal run of word units equal to it,
// so one pass over the runs finds, for every word, its first whole-word occurrence; the best
// ranked of those is the one the ordered per-word search would accept first.
void levelWord(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes)
{
    std::size_t bestRank = levelWords.size();
    std::size_t bestStart = 0;
    std::size_t p = lineStart;
    while (p < lineEnd) {
        if (!isWord(s[p])) {
            ++p;
            continue;
        }
        const std::size_t runStart = p;
        while (p < lineEnd && isWord(s[p]))
            ++p;
        const std::size_t runLength = p - runStart;
        if (runLength < 4 || runLength > 8)
            continue;
        for (std::size_t rank = 0; rank < bestRank; ++rank) {
            if (levelWords[rank].word.size() == runLength && matchesAt(s, runStart, p, levelWords[rank].word)) {
                bestRank = rank;
                bestStart = runStart;
                break;
            }
        }
        if (bestRank == 0)
            break;
    }
    if (bestRank < levelWords.size()) {
        const LevelWord &level = levelWords[bestRank];
        paint(classes, bestStart, bestStart + level.word.size(), level.syntaxClass);
    }
}

} // namespace

void logLine(const char16_t *s, std::size_t lineStart, std::size_t lineEnd, std::uint8_t *classes)
{
    paint(classes, lineStart, timestampEnd(s, lineStart, lineEnd), Comment);
    levelWord(s, lineStart, lineEnd, classes);
    // Strings last, so a level word inside quotes ends up a string.
    std::size_t i = lineStart;
    while (i < lineEnd) {
        i = findUnit(s, i, lineEnd, u'"');
        if (i >= lineEnd)
            break;
        const std::size_t end = scanQuoted(s, i, lineEnd);
        paint(classes, i, end, String);
        i = end;
    }
}

} // namespace Highlighting::SyntaxHighlighter::Internal
