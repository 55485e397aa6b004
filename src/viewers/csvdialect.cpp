#include "csvdialect.h"

#include <algorithm>
#include <map>
#include <vector>

namespace Viewers {

namespace {

constexpr std::size_t candidateCount = candidateDelimiters.size();
using Counts = std::array<std::uint32_t, candidateCount>;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int candidateIndex(char16_t c)
{
    for (std::size_t i = 0; i < candidateCount; ++i) {
        if (candidateDelimiters[i] == c)
            return int(i);
    }
    return -1;
}

} // namespace

char16_t detectDelimiter(std::u16string_view text)
{
    const std::size_t n = std::min(text.size(), detectionUnitLimit);
    std::vector<Counts> lines; // Delimiter occurrences outside quotes, per non-blank line.
    Counts current{};
    bool lineHasText = false;
    bool inQuotes = false;
    // A comma that only ever stands between digits reads as a decimal comma ("1,5;2,5").
    bool commasBetweenDigitsOnly = true;
    bool sawComma = false;

    auto endLine = [&] {
        if (lineHasText)
            lines.push_back(current);
        current = Counts{};
        lineHasText = false;
    };

    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c == u'"') {
            // The parser's quoting, reduced to a toggle: a doubled quote inside quotes toggles
            // twice and so stays inside.
            inQuotes = !inQuotes;
            lineHasText = true;
            continue;
        }
        if (inQuotes) {
            continue;
        }
        if (c == u'\n' || c == u'\r') {
            endLine();
            if (lines.size() >= detectionLineLimit)
                break;
            continue;
        }
        lineHasText = true;
        const int index = candidateIndex(c);
        if (index < 0)
            continue;
        ++current[std::size_t(index)];
        if (c == u',') {
            sawComma = true;
            if (i == 0 || i + 1 >= text.size() || !isDigit(text[i - 1]) || !isDigit(text[i + 1]))
                commasBetweenDigitsOnly = false;
        }
    }
    // The last line counts when the text ends with it; a line cut by the unit limit is left
    // out unless it is all there is.
    if (lineHasText && (n == text.size() || text[n] == u'\n' || text[n] == u'\r' || lines.empty()))
        endLine();

    // Each candidate's score: the most lines that share one field count of two or more.
    std::array<std::size_t, candidateCount> scores{};
    for (std::size_t d = 0; d < candidateCount; ++d) {
        std::map<std::uint32_t, std::size_t> fieldCounts;
        for (const Counts &line : lines) {
            if (line[d] > 0)
                scores[d] = std::max(scores[d], ++fieldCounts[line[d] + 1]);
        }
    }

    std::size_t best = 0;
    for (std::size_t d = 1; d < candidateCount; ++d) {
        if (scores[d] > scores[best])
            best = d;
    }
    if (best == 0 && sawComma && commasBetweenDigitsOnly) {
        // A tie between decimal commas and another candidate goes to the other one.
        for (std::size_t d = 1; d < candidateCount; ++d) {
            if (scores[d] > 0 && scores[d] == scores[0])
                return candidateDelimiters[d];
        }
    }
    return candidateDelimiters[best];
}

std::optional<char16_t> defaultDelimiterFor(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const std::string_view extension = name.substr(dot + 1);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (extension.size() == 3 && lower(extension[0]) == 't' && lower(extension[1]) == 's'
        && lower(extension[2]) == 'v')
        return u'\t';
    return std::nullopt;
}

std::optional<char16_t> delimiterOf(CSVDelimiterChoice choice)
{
    switch (choice) {
    case CSVDelimiterChoice::Auto: return std::nullopt;
    case CSVDelimiterChoice::Comma: return u',';
    case CSVDelimiterChoice::Semicolon: return u';';
    case CSVDelimiterChoice::Tab: return u'\t';
    case CSVDelimiterChoice::Pipe: return u'|';
    }
    return std::nullopt;
}

char16_t resolveDelimiter(CSVDelimiterChoice choice, std::string_view path, std::u16string_view text)
{
    if (const auto chosen = delimiterOf(choice))
        return *chosen;
    if (const auto named = defaultDelimiterFor(path))
        return *named;
    return detectDelimiter(text);
}

std::string_view delimiterChoiceName(CSVDelimiterChoice choice)
{
    switch (choice) {
    case CSVDelimiterChoice::Auto: return "auto";
    case CSVDelimiterChoice::Comma: return "comma";
    case CSVDelimiterChoice::Semicolon: return "semicolon";
    case CSVDelimiterChoice::Tab: return "tab";
    case CSVDelimiterChoice::Pipe: return "pipe";
    }
    return "auto";
}

std::optional<CSVDelimiterChoice> delimiterChoiceFromName(std::string_view name)
{
    for (CSVDelimiterChoice choice : allDelimiterChoices) {
        if (delimiterChoiceName(choice) == name)
            return choice;
    }
    return std::nullopt;
}

CSVDelimiterChoice choiceFor(char16_t delimiter)
{
    switch (delimiter) {
    case u';': return CSVDelimiterChoice::Semicolon;
    case u'\t': return CSVDelimiterChoice::Tab;
    case u'|': return CSVDelimiterChoice::Pipe;
    default: return CSVDelimiterChoice::Comma;
    }
}

} // namespace Viewers
