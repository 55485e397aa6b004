#include "indentation.h"

#include "textview/textstorage.h"

#include <algorithm>
#include <array>

namespace TextView {

namespace {

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string_view trimmedRight(std::u16string_view text)
{
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::size_t widthOf(IndentStyle style)
{
    return std::size_t(std::clamp(style.width, 1, 16));
}

// The line's text without a trailing YAML comment: a `#` at the start or after white space,
// outside quotes.
std::u16string_view withoutYAMLComment(std::u16string_view line)
{
    char16_t quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'#' && (i == 0 || isBlank(line[i - 1]))) {
            return line.substr(0, i);
        }
    }
    return line;
}

bool isNameCharacter(char16_t c)
{
    return !isBlank(c) && c != u'>' && c != u'/' && c != u'<' && c != u'=' && c != u'"' && c != u'\'';
}

// Whether a start tag stays open at the end of `line`: start tags push, end tags pop, empty
// elements, declarations, comments and processing instructions count for nothing.
bool opensXMLElement(std::u16string_view line)
{
    std::vector<std::u16string_view> open;
    std::size_t i = 0;
    while ((i = line.find(u'<', i)) != std::u16string_view::npos) {
        const std::u16string_view rest = line.substr(i);
        if (rest.starts_with(u"<!--")) {
            const std::size_t close = line.find(u"-->", i + 4);
            if (close == std::u16string_view::npos)
                return false;
            i = close + 3;
            continue;
        }
        if (rest.starts_with(u"<?") || rest.starts_with(u"<!")) {
            const std::size_t close = line.find(u'>', i + 2);
            if (close == std::u16string_view::npos)
                return false;
            i = close + 1;
            continue;
        }
        const bool closing = rest.starts_with(u"</");
        std::size_t nameStart = i + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < line.size() && isNameCharacter(line[nameEnd]))
            ++nameEnd;
        if (nameEnd == nameStart) {
            i = nameStart;
            continue;
        }
        const std::u16string_view name = line.substr(nameStart, nameEnd - nameStart);
        // The tag's end, attribute values may hold `>`.
        char16_t quote = 0;
        std::size_t j = nameEnd;
        for (; j < line.size(); ++j) {
            const char16_t c = line[j];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                break;
            }
        }
        if (j == line.size()) {
            // A start tag continued on the next line: its attributes go one level deeper.
            return !closing;
        }
        if (closing) {
            const auto match = std::find(open.rbegin(), open.rend(), name);
            if (match != open.rend())
                open.erase(std::next(match).base(), open.end());
        } else if (line[j - 1] != u'/') {
            open.push_back(name);
        }
        i = j + 1;
    }
    return !open.empty();
}

// The closer that belongs right after `before`'s opener, if `before` ends with one.
std::optional<std::u16string_view> opener(std::u16string_view before, BlockSyntax syntax)
{
    switch (syntax) {
    case BlockSyntax::None:
        return std::nullopt;
    case BlockSyntax::Brackets: {
        const std::u16string_view text = trimmedRight(before);
        if (text.ends_with(u'{'))
            return u"}";
        if (text.ends_with(u'['))
            return u"]";
        return std::nullopt;
    }
    case BlockSyntax::Colon:
        if (trimmedRight(withoutYAMLComment(before)).ends_with(u':'))
            return u"";
        return std::nullopt;
    case BlockSyntax::Tags:
        if (opensXMLElement(before))
            return u"</";
        return std::nullopt;
    }
    return std::nullopt;
}

// One level less than `column`: the previous stop.
std::size_t previousStop(std::size_t column, std::size_t width)
{
    return column == 0 ? 0 : (column - 1) / width * width;
}

// The lines the selection touches, first and last (0-based).
std::pair<std::size_t, std::size_t> touchedLines(const TextStorage &text, std::size_t anchor, std::size_t caret)
{
    const std::size_t length = text.length();
    const std::size_t start = std::min({anchor, caret, length});
    const std::size_t end = std::min(std::max(anchor, caret), length);
    const std::size_t first = text.lineAt(start);
    std::size_t last = text.lineAt(end);
    if (last > first && text.lineStart(last) == end)
        --last;
    return {first, last};
}

LinesEdit selectionAfter(std::vector<TextEdit> edits, std::size_t anchor, std::size_t caret)
{
    LinesEdit result;
    result.anchor = mapThroughEdits(edits, anchor);
    result.caret = mapThroughEdits(edits, caret);
    result.edits = std::move(edits);
    return result;
}

} // namespace

IndentStyle detectIndentation(std::u16string_view text, bool spacesOnly)
{
    std::size_t tabLines = 0;
    std::size_t spaceLines = 0;
    // steps[d]: how often a line is d spaces deeper than the non-blank line before it.
    std::array<std::size_t, 9> steps{};
    // The spaces of the last non-blank line; none after a line that starts with a tab.
    constexpr std::size_t unknown = std::size_t(-1);
    std::size_t previous = 0;
    // A giant single line is not read to its end for nothing.
    text = text.substr(0, std::min<std::size_t>(text.size(), indentationDetectionUnits));
    std::size_t position = 0;
    for (std::size_t lines = 0; position < text.size() && lines < indentationDetectionLines; ++lines) {
        std::size_t end = text.find(u'\n', position);
        if (end == std::u16string_view::npos)
            end = text.size();
        const std::u16string_view line = text.substr(position, end - position);
        position = end + 1;
        const std::size_t blank = leadingWhitespace(line);
        if (blank == line.size() || (blank + 1 == line.size() && line.back() == u'\r'))
            continue;
        if (line.front() == u'\t') {
            ++tabLines;
            previous = unknown;
            continue;
        }
        const std::size_t spaces = std::size_t(std::find_if(line.begin(), line.end(), [](char16_t c) { return c != u' '; })
                                               - line.begin());
        if (spaces < blank) {
            // Spaces then a tab: alignment, not a habit to learn from.
            previous = unknown;
            continue;
        }
        if (spaces > 0)
            ++spaceLines;
        if (previous != unknown && spaces > previous && spaces - previous < steps.size())
            ++steps[spaces - previous];
        previous = spaces;
    }
    if (!spacesOnly && tabLines > spaceLines)
        return {true, 4};
    int best = 4;
    for (const int step : {2, 8})
        if (steps[std::size_t(step)] > steps[std::size_t(best)])
            best = step;
    return {false, best};
}

std::size_t leadingWhitespace(std::u16string_view line)
{
    return std::size_t(std::find_if(line.begin(), line.end(), [](char16_t c) { return !isBlank(c); }) - line.begin());
}

std::size_t visualColumn(std::u16string_view text, int tabWidth)
{
    const std::size_t width = widthOf({false, tabWidth});
    std::size_t column = 0;
    for (const char16_t c : text)
        column = c == u'\t' ? (column / width + 1) * width : column + 1;
    return column;
}

std::u16string whitespaceForColumn(std::size_t column, IndentStyle style)
{
    if (!style.tabs)
        return std::u16string(column, u' ');
    const std::size_t width = widthOf(style);
    return std::u16string(column / width, u'\t') + std::u16string(column % width, u' ');
}

std::u16string tabInsertion(std::size_t column, IndentStyle style)
{
    if (style.tabs)
        return u"\t";
    const std::size_t width = widthOf(style);
    return std::u16string(width - column % width, u' ');
}

NewlineInsertion newlineInsertion(std::u16string_view before, std::u16string_view after, IndentStyle style,
                                  BlockSyntax syntax)
{
    NewlineInsertion result;
    const std::size_t indentLength = leadingWhitespace(before);
    if (indentLength == before.size()) {
        // The caret is in the line's indentation: the line moves down as it is.
        result.text = u"\n" + std::u16string(before);
        result.caretOffset = result.text.size();
        return result;
    }
    const std::u16string indent(before.substr(0, indentLength));
    // The rest of the line starts on the new line right at its indentation.
    result.consumedAfter = leadingWhitespace(after);
    const std::u16string_view rest = after.substr(result.consumedAfter);
    const std::optional<std::u16string_view> closer = opener(before, syntax);
    if (!closer) {
        result.text = u"\n" + indent;
        result.caretOffset = result.text.size();
        return result;
    }
    const std::u16string deeper = whitespaceForColumn(visualColumn(indent, style.width) + widthOf(style), style);
    result.text = u"\n" + deeper;
    result.caretOffset = result.text.size();
    if (!closer->empty() && rest.starts_with(*closer))
        result.text += u"\n" + indent;
    return result;
}

std::optional<std::u16string> closerInsertion(std::u16string_view before, char16_t typed, IndentStyle style,
                                              BlockSyntax syntax)
{
    if (syntax != BlockSyntax::Brackets || (typed != u'}' && typed != u']'))
        return std::nullopt;
    if (before.empty() || leadingWhitespace(before) != before.size())
        return std::nullopt;
    const std::size_t column = visualColumn(before, style.width);
    return whitespaceForColumn(previousStop(column, widthOf(style)), style) + typed;
}

std::optional<std::size_t> backspaceToStop(std::u16string_view before, IndentStyle style)
{
    if (style.tabs || before.empty() || before.find_first_not_of(u' ') != std::u16string_view::npos)
        return std::nullopt;
    return before.size() - previousStop(before.size(), widthOf(style));
}

bool selectionSpansLines(const TextStorage &text, std::size_t anchor, std::size_t caret)
{
    const auto [first, last] = touchedLines(text, anchor, caret);
    return last > first;
}

LinesEdit indentLines(const TextStorage &text, std::size_t anchor, std::size_t caret, IndentStyle style)
{
    const auto [first, last] = touchedLines(text, anchor, caret);
    const std::u16string unit = style.tabs ? u"\t" : std::u16string(widthOf(style), u' ');
    std::vector<TextEdit> edits;
    for (std::size_t line = first; line <= last; ++line)
        if (text.lineLength(line) > 0)
            edits.push_back({{text.lineStart(line), 0}, unit});
    return selectionAfter(std::move(edits), anchor, caret);
}

LinesEdit outdentLines(const TextStorage &text, std::size_t anchor, std::size_t caret, IndentStyle style)
{
    const auto [first, last] = touchedLines(text, anchor, caret);
    const std::size_t width = widthOf(style);
    std::vector<TextEdit> edits;
    for (std::size_t line = first; line <= last; ++line) {
        const std::size_t start = text.lineStart(line);
        const std::size_t length = text.lineLength(line);
        std::size_t spaces = 0;
        while (spaces < length && text.at(start + spaces) == u' ')
            ++spaces;
        std::size_t removed;
        if (spaces < length && text.at(start + spaces) == u'\t' && spaces < width)
            removed = spaces + 1; // a tab, with the spaces before it that it swallows
        else
            removed = spaces - previousStop(spaces, width);
        if (removed > 0)
            edits.push_back({{start, removed}, u""});
    }
    return selectionAfter(std::move(edits), anchor, caret);
}

std::vector<TextEdit> convertIndentation(const TextStorage &text, IndentStyle from, IndentStyle to)
{
    std::vector<TextEdit> edits;
    const std::size_t fromWidth = widthOf(from);
    const std::size_t toWidth = widthOf(to);
    const std::size_t lines = text.lineCount();
    for (std::size_t line = 0; line < lines; ++line) {
        const std::size_t start = text.lineStart(line);
        const std::size_t length = text.lineLength(line);
        std::size_t blank = 0;
        std::size_t column = 0;
        while (blank < length && isBlank(text.at(start + blank))) {
            column = text.at(start + blank) == u'\t' ? (column / fromWidth + 1) * fromWidth : column + 1;
            ++blank;
        }
        // White space alone on a line is not indentation of anything.
        if (blank == 0 || blank == length)
            continue;
        std::u16string wanted = to.tabs ? std::u16string(column / fromWidth, u'\t')
                                        : std::u16string(column / fromWidth * toWidth, u' ');
        wanted.append(column % fromWidth, u' ');
        if (wanted != text.text(start, blank))
            edits.push_back({{start, blank}, std::move(wanted)});
    }
    return edits;
}

std::size_t mapThroughEdits(const std::vector<TextEdit> &edits, std::size_t position)
{
    std::ptrdiff_t shift = 0;
    for (const TextEdit &edit : edits) {
        const std::size_t start = edit.range.location;
        if (position < start || (position == start && edit.range.length == 0))
            break;
        if (position >= edit.range.end()) {
            shift += std::ptrdiff_t(edit.replacement.size()) - std::ptrdiff_t(edit.range.length);
            continue;
        }
        return std::size_t(std::ptrdiff_t(start) + shift) + std::min(position - start, edit.replacement.size());
    }
    return std::size_t(std::ptrdiff_t(position) + shift);
}

} // namespace TextView
