#include "lineoperations.h"

#include "textview/textstorage.h"

#include "base/utf.h"

#include <algorithm>

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

LineEdit duplicateLines(const TextView::TextStorage &text, TextRange selection)
{
    const std::size_t size = text.length();
    const std::size_t location = std::min(selection.location, size);
    const std::size_t length = std::min(size - location, selection.length);
    // Whole lines from the start of the first line to just past the LF ending the last one; a
    // position on a LF belongs to the line the LF ends.
    const std::size_t start = text.lineStart(text.lineAt(location));
    const std::size_t lastLine = text.lineAt(std::max(length > 0 ? location + length - 1 : location, start));
    const std::size_t end = lastLine + 1 < text.lineCount() ? text.lineStart(lastLine + 1) : size;
    const std::u16string block = text.text(start, end - start);
    const bool endsWithLineFeed = !block.empty() && block.back() == u'\n';
    // The copy goes after the block; the last line of the text first gets a line break.
    LineEdit edit;
    edit.replaced = {end, 0};
    if (!endsWithLineFeed)
        edit.replacement.push_back(u'\n');
    edit.replacement.append(block);
    edit.selection = {location + edit.replacement.size(), 0};
    return edit;
}

std::optional<LineEdit> moveLine(const TextView::TextStorage &text, std::size_t caret, Direction direction)
{
    const std::size_t size = text.length();
    caret = std::min(caret, size);
    // The empty line after a final LF is no line to move.
    const bool endsWithLineFeed = size > 0 && text.at(size - 1) == u'\n';
    const std::size_t lines = text.lineCount() - (endsWithLineFeed ? 1 : 0);
    std::size_t index = text.lineAt(caret);
    std::size_t column = caret - text.lineStart(index);
    if (index >= lines) {
        index = lines - 1;
        column = 0;
    }
    if ((direction == Direction::Up && index == 0) || (direction == Direction::Down && index + 1 >= lines))
        return std::nullopt;
    const std::size_t target = direction == Direction::Up ? index - 1 : index + 1;
    const std::size_t upper = std::min(index, target), lower = std::max(index, target);
    const std::size_t base = text.lineStart(upper);
    const std::u16string upperText = text.text(base, text.lineLength(upper));
    const std::u16string lowerText = text.text(text.lineStart(lower), text.lineLength(lower));
    const std::u16string before = upperText + u'\n' + lowerText;
    const std::u16string after = lowerText + u'\n' + upperText;

    LineEdit edit;
    const std::u16string &moved = index == upper ? upperText : lowerText;
    const std::size_t slot = target == upper ? base : base + lowerText.size() + 1;
    edit.selection = {slot + std::min(moved.size(), column), 0};
    edit.replaced = {base, 0};
    // Only what differs between the two orders is replaced, as a text diff would.
    if (const auto replacement = minimalReplacement(before, after)) {
        edit.replaced = {base + replacement->replaced.location, replacement->replaced.length};
        edit.replacement = after.substr(replacement->inserted.location, replacement->inserted.length);
    }
    return edit;
}

} // namespace Editor
