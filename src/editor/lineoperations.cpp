#include "lineoperations.h"

#include "base/utf.h"

#include <algorithm>
#include <vector>

namespace Editor {

std::optional<Replacement> minimalReplacement(std::u16string_view oldText, std::u16string_view newText)
{
    if (oldText == newText)
        return std::nullopt;
    const std::size_t shorter = std::min(oldText.size(), newText.size());
    std::size_t prefix = 0;
    while (prefix < shorter && oldText[prefix] == newText[prefix])
        ++prefix;
    if (prefix < shorter && prefix > 0 && Base::Utf::isHighSurrogate(oldText[prefix - 1]))
        --prefix;

    std::size_t oldEnd = oldText.size();
    std::size_t newEnd = newText.size();
    while (oldEnd > prefix && newEnd > prefix && oldText[oldEnd - 1] == newText[newEnd - 1]) {
        --oldEnd;
        --newEnd;
    }
    while (oldEnd < oldText.size() && newEnd < newText.size() && Base::Utf::isLowSurrogate(oldText[oldEnd])) {
        ++oldEnd;
        ++newEnd;
    }
    return Replacement{{prefix, oldEnd - prefix}, {prefix, newEnd - prefix}};
}

LineOperationResult duplicateLines(std::u16string_view text, TextRange selection)
{
    const std::size_t location = std::min(selection.location, text.size());
    const std::size_t length = std::min(text.size() - location, selection.length);
    // Whole lines from the start of the first line to just past the LF ending the last one.
    const std::size_t lastLineFeed = location == 0 ? std::u16string_view::npos : text.rfind(u'\n', location - 1);
    const std::size_t start = lastLineFeed == std::u16string_view::npos ? 0 : lastLineFeed + 1;
    const std::size_t searchFrom = length > 0 ? location + length - 1 : location;
    const std::size_t endFeed = text.find(u'\n', std::max(searchFrom, start));
    const std::size_t end = endFeed == std::u16string_view::npos ? text.size() : endFeed + 1;

    const std::u16string_view block = text.substr(start, end - start);
    LineOperationResult result;
    result.text.reserve(text.size() + block.size() + 1);
    result.text.append(text.substr(0, end));
    const bool endsWithLineFeed = !block.empty() && block.back() == u'\n';
    if (!endsWithLineFeed)
        result.text.push_back(u'\n');
    result.text.append(block);
    result.text.append(text.substr(end));
    result.caret = location + block.size() + (endsWithLineFeed ? 0 : 1);
    return result;
}

std::optional<LineOperationResult> moveLine(std::u16string_view text, std::size_t caret, Direction direction)
{
    std::vector<std::u16string_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t feed = text.find(u'\n', start);
        if (feed == std::u16string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, feed - start));
        start = feed + 1;
    }
    const bool endedWithLineFeed = !text.empty() && text.back() == u'\n';
    if (endedWithLineFeed)
        lines.pop_back();
    if (lines.empty())
        return std::nullopt;

    std::size_t index = lines.size() - 1;
    std::size_t column = 0;
    for (std::size_t i = 0, start = 0; i < lines.size(); start += lines[i].size() + 1, ++i) {
        if (start + lines[i].size() + 1 > caret) {
            index = i;
            column = caret >= start ? caret - start : 0;
            break;
        }
    }
    const std::size_t target = direction == Direction::Up ? index - 1 : index + 1;
    if ((direction == Direction::Up && index == 0) || (direction == Direction::Down && index + 1 >= lines.size()))
        return std::nullopt;
    std::swap(lines[index], lines[target]);

    LineOperationResult result;
    result.text.reserve(text.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result.text.push_back(u'\n');
        if (i == target)
            result.caret = result.text.size() + std::min(lines[i].size(), column);
        result.text.append(lines[i]);
    }
    if (endedWithLineFeed)
        result.text.push_back(u'\n');
    return result;
}

} // namespace Editor
