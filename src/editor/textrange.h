#pragma once

#include <cstddef>

namespace Editor {

// A half-open range [location, location + length) of UTF-16 code units in LF-only text.
struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;

    std::size_t end() const { return location + length; }
    bool operator==(const TextRange &) const = default;
};

// A caret position as the user sees it: 1-based line and column.
struct CaretPosition {
    long long line = 1;
    long long column = 1;
    bool operator==(const CaretPosition &) const = default;
};

} // namespace Editor
