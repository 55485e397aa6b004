#include "counts.h"

#include "base/text.h"
#include "base/textsnapshot.h"
#include "base/utf.h"

#include <algorithm>
#include <vector>

namespace App {

namespace {

constexpr std::size_t pieceLength = 1 << 16;

// Bytes and line feeds of consecutive pieces; a surrogate pair split between two pieces is
// still one four-byte scalar.
struct ByteAndLineTally {
    std::int64_t bytes = 0;
    std::int64_t lineFeeds = 0;
    bool pendingHigh = false;

    void add(std::u16string_view piece)
    {
        for (char16_t unit : piece) {
            if (pendingHigh) {
                pendingHigh = false;
                if (Base::Utf::isLowSurrogate(unit)) {
                    ++bytes; // 3 counted for the high half, 4 for the pair.
                    continue;
                }
            }
            if (unit < 0x80) {
                ++bytes;
                lineFeeds += unit == u'\n';
            } else if (unit < 0x800) {
                bytes += 2;
            } else {
                bytes += 3;
                pendingHigh = Base::Utf::isHighSurrogate(unit);
            }
        }
    }
};

std::string shortLabel(std::int64_t lines, std::int64_t bytes)
{
    return std::to_string(lines) + "L \u00B7 " + std::to_string(bytes) + "B";
}

} // namespace

std::int64_t lineCount(std::u16string_view text)
{
    if (text.empty())
        return 0;
    return 1 + std::int64_t(std::count(text.begin(), text.end(), u'\n'));
}

std::int64_t wordCount(std::u16string_view text)
{
    std::int64_t words = 0;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t scalar = text[i];
        if (Base::Utf::isHighSurrogate(text[i]) && i + 1 < text.size() && Base::Utf::isLowSurrogate(text[i + 1])) {
            scalar = 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        const bool word = Base::Text::isWordCharacter(scalar);
        words += word && !inWord;
        inWord = word;
    }
    return words;
}

std::int64_t utf8Length(std::u16string_view text)
{
    ByteAndLineTally tally;
    tally.add(text);
    return tally.bytes;
}

std::string countsLabel(std::u16string_view text)
{
    const std::int64_t bytes = utf8Length(text);
    const std::int64_t lines = lineCount(text);
    if (bytes > countsShortFormThreshold)
        return shortLabel(lines, bytes);
    return std::to_string(lines) + "L \u00B7 " + std::to_string(wordCount(text)) + "W \u00B7 "
           + std::to_string(Base::Text::graphemeCount(text)) + "C";
}

std::optional<std::string> countsLabel(const Base::TextSnapshot &snapshot)
{
    const std::size_t length = snapshot.length();
    // Every unit is at least one byte: a short text is copied whole and counted in full.
    if (length <= std::size_t(countsShortFormThreshold)) {
        std::u16string text(length, u'\0');
        if (!snapshot.copy(0, length, text.data()))
            return std::nullopt;
        return countsLabel(text);
    }
    ByteAndLineTally tally;
    std::vector<char16_t> piece(pieceLength);
    for (std::size_t at = 0; at < length; at += pieceLength) {
        const std::size_t count = std::min(pieceLength, length - at);
        if (!snapshot.copy(at, count, piece.data()))
            return std::nullopt;
        tally.add({piece.data(), count});
    }
    return shortLabel(tally.lineFeeds + 1, tally.bytes);
}

} // namespace App
