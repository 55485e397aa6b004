#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Base {
class TextSnapshot;
}

namespace App {

// A text of more than this many UTF-8 bytes gets the short counts label (lines and bytes).
inline constexpr std::int64_t countsShortFormThreshold = 500'000;

// 0 for an empty text, else 1 + the number of LF characters.
std::int64_t lineCount(std::u16string_view text);
// Maximal runs of letters, marks, numbers and underscores.
std::int64_t wordCount(std::u16string_view text);
// UTF-8 bytes; an unpaired surrogate counts as the three bytes of U+FFFD.
std::int64_t utf8Length(std::u16string_view text);

// "37L · 106W · 1265C", or "12000L · 612345B" above the threshold; extended grapheme clusters
// count as characters.
std::string countsLabel(std::u16string_view text);

// The same for a background snapshot, reading it piece by piece without copying a long text:
// nothing when the snapshot was revoked meanwhile.
std::optional<std::string> countsLabel(const Base::TextSnapshot &snapshot);

} // namespace App
