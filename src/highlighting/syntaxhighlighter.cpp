#include "highlighting/syntaxhighlighter.h"

#include "highlighting/scanner_p.h"

#include <algorithm>
#include <cstring>

namespace Highlighting::SyntaxHighlighter {

using namespace Internal;

namespace {

bool fits(std::u16string_view text, std::span<std::uint8_t> classes)
{
    return classes.size() >= text.size();
}

bool validLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd)
{
    return lineStart <= lineEnd && lineEnd <= text.size();
}

// The per-line kinds: each line from its start to the next line feed (or the text end); the
// walk stops when the next start reaches the text length, so an empty text makes no call.
template<typename LineRoutine>
void forEachLine(const char16_t *s, std::size_t n, std::uint8_t *classes, LineRoutine routine)
{
    std::size_t start = 0;
    while (start < n) {
        const std::size_t end = lineEndFrom(s, start, n);
        routine(s, start, end, classes);
        start = end + 1;
    }
}

} // namespace

// ---- Frame -----------------------------------------------------------------------------------

bool highlight(Documents::DocKind kind, std::u16string_view text, std::span<std::uint8_t> classes)
{
    if (!fits(text, classes))
        return false;
    if (!text.empty())
        std::memset(classes.data(), classByte(SyntaxClass::Base), text.size());
    if (text.size() > maximumLength)
        return false;
    const char16_t *s = text.data();
    const std::size_t n = text.size();
    std::uint8_t *out = classes.data();
    switch (kind) {
    case Documents::DocKind::Json:
    case Documents::DocKind::Ndjson:
        json(s, n, out);
        return true;
    case Documents::DocKind::Toml:
        toml(s, n, out);
        return true;
    case Documents::DocKind::Yaml:
        forEachLine(s, n, out, yamlLine);
        return true;
    case Documents::DocKind::Xml:
        xml(s, n, out);
        return true;
    case Documents::DocKind::Markdown:
        markdown(s, n, out);
        return true;
    case Documents::DocKind::Log:
        forEachLine(s, n, out, logLine);
        return true;
    case Documents::DocKind::Csv:
    case Documents::DocKind::Txt:
        break;
    }
    return false;
}

void highlightJSON(std::u16string_view text, std::span<std::uint8_t> classes)
{
    if (fits(text, classes))
        json(text.data(), text.size(), classes.data());
}

void highlightTOML(std::u16string_view text, std::span<std::uint8_t> classes)
{
    if (fits(text, classes))
        toml(text.data(), text.size(), classes.data());
}

void highlightYAMLLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd,
                       std::span<std::uint8_t> classes)
{
    if (fits(text, classes) && validLine(text, lineStart, lineEnd))
        yamlLine(text.data(), lineStart, lineEnd, classes.data());
}

void highlightXML(std::u16string_view text, std::span<std::uint8_t> classes)
{
    if (fits(text, classes))
        xml(text.data(), text.size(), classes.data());
}

void highlightMarkdown(std::u16string_view text, std::span<std::uint8_t> classes)
{
    if (fits(text, classes))
        markdown(text.data(), text.size(), classes.data());
}

void highlightLogLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd,
                      std::span<std::uint8_t> classes)
{
    if (fits(text, classes) && validLine(text, lineStart, lineEnd))
        logLine(text.data(), lineStart, lineEnd, classes.data());
}

// ---- Shared helpers --------------------------------------------------------------------------

std::size_t scanNumber(std::u16string_view text, std::size_t start, std::size_t limit)
{
    limit = std::min(limit, text.size());
    if (start >= limit)
        return start;
    return Internal::scanNumber(text.data(), start, limit);
}

bool isNumericString(std::u16string_view text)
{
    return isNumeric(text.data(), text.size());
}

std::optional<Range> trimmedRange(std::u16string_view text, std::size_t start, std::size_t end)
{
    end = std::min(end, text.size());
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    if (start >= end)
        return std::nullopt;
    return Range{start, end - start};
}

bool isFenceLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd)
{
    lineEnd = std::min(lineEnd, text.size());
    return lineStart <= lineEnd && fenceLine(text.data(), lineStart, lineEnd);
}

namespace Internal {

std::size_t scanNumber(const char16_t *s, std::size_t start, std::size_t limit)
{
    std::size_t j = start;
    if (j < limit && (s[j] == u'-' || s[j] == u'+'))
        ++j;
    if (j >= limit)
        return start;
    bool sawDigits = false;
    if (isDigit(s[j])) {
        while (j < limit && isDigit(s[j]))
            ++j;
        if (j == limit)
            return limit;
        sawDigits = true;
    }
    if (s[j] == u'.') {
        if (j + 1 < limit && isDigit(s[j + 1])) {
            ++j;
            while (j < limit && isDigit(s[j]))
                ++j;
            if (j == limit)
                return limit;
            sawDigits = true;
        } else {
            ++j; // The "." stays in the literal, as in "7.".
        }
    }
    if (j < limit && (s[j] == u'e' || s[j] == u'E')) {
        ++j;
        if (j < limit && (s[j] == u'-' || s[j] == u'+'))
            ++j;
        while (j < limit && isDigit(s[j]))
            ++j;
    }
    return sawDigits ? j : start;
}

namespace {

constexpr char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool equalsIgnoringCase(const char16_t *s, std::size_t n, std::u16string_view lowerWord)
{
    if (n != lowerWord.size())
        return false;
    for (std::size_t k = 0; k < n; ++k)
        if (asciiLower(s[k]) != lowerWord[k])
            return false;
    return true;
}

constexpr bool isHexDigit(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// True when strtod (C locale) would consume all of s[0, n): the grammar is checked by hand,
// since strtod itself needs a NUL-terminated narrow copy and skips leading white space.
bool strtodConsumesAll(const char16_t *s, std::size_t n)
{
    std::size_t i = 0;
    if (s[i] == u'+' || s[i] == u'-')
        ++i;
    if (i == n)
        return false;
    const char16_t *rest = s + i;
    const std::size_t restLength = n - i;
    if (equalsIgnoringCase(rest, restLength, u"inf") || equalsIgnoringCase(rest, restLength, u"infinity")
        || equalsIgnoringCase(rest, restLength, u"nan"))
        return true;
    if (restLength >= 5 && equalsIgnoringCase(rest, 4, u"nan(") && rest[restLength - 1] == u')') {
        for (std::size_t k = 4; k + 1 < restLength; ++k)
            if (!isWord(rest[k]))
                return false;
        return true;
    }
    const bool hex = restLength >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X');
    if (hex) {
        // "0x" without a hexadecimal digit is read by strtod as "0", leaving the "x".
        std::size_t j = i + 2;
        bool sawDigits = false;
        while (j < n && isHexDigit(s[j]))
            ++j, sawDigits = true;
        if (j < n && s[j] == u'.') {
            ++j;
            while (j < n && isHexDigit(s[j]))
                ++j, sawDigits = true;
        }
        if (!sawDigits)
            return false;
        if (j < n && (s[j] == u'p' || s[j] == u'P')) {
            ++j;
            if (j < n && (s[j] == u'+' || s[j] == u'-'))
                ++j;
            if (j == n || !isDigit(s[j]))
                return false; // The exponent is not consumed, so the string is not either.
            while (j < n && isDigit(s[j]))
                ++j;
        }
        return j == n;
    }
    std::size_t j = i;
    bool sawDigits = false;
    while (j < n && isDigit(s[j]))
        ++j, sawDigits = true;
    if (j < n && s[j] == u'.') {
        ++j;
        while (j < n && isDigit(s[j]))
            ++j, sawDigits = true;
    }
    if (!sawDigits)
        return false;
    if (j < n && (s[j] == u'e' || s[j] == u'E')) {
        ++j;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        if (j == n || !isDigit(s[j]))
            return false;
        while (j < n && isDigit(s[j]))
            ++j;
    }
    return j == n;
}

} // namespace

bool isNumeric(const char16_t *s, std::size_t n)
{
    if (n == 0)
        return false;
    if (n >= 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X'))
        return true;
    // A decimal integer with an optional sign is part of the strtod grammar.
    return strtodConsumesAll(s, n);
}

} // namespace Internal

} // namespace Highlighting::SyntaxHighlighter
