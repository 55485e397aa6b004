#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

namespace Editor {

// What the go-to-line field holds: a line to go to, or the upper bound to name in
// "Line out of range (1–%d)".
struct OutOfRange {
    std::int64_t upper = 1;
    bool operator==(const OutOfRange &) const = default;
};
using LineRequest = std::variant<std::int64_t, OutOfRange>;

// Parses an optional "+" or "-" and ASCII digits, nothing else (no spaces), as a signed 64-bit
// number, and accepts it when 1 ≤ n ≤ max(maxLine, 1): an empty document still has line 1.
LineRequest parseLineRequest(std::u16string_view text, std::int64_t maxLine);

} // namespace Editor
