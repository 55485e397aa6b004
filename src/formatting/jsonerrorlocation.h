#pragma once

#include "formatting/validation.h"

#include <cstdint>
#include <optional>
#include <string_view>

// How a JSON reader's failure becomes a `ValidationError`. The checks in JSONFormatter use these;
// they are public so that their contracts can be tested on their own.
//
// A reader describes its fault in one English sentence that ends in a position phrase, either
// " around line L, column C." (1-based, C counted like the caret column) or
// " around character N." (N a 0-based offset into the UTF-8 bytes that were parsed).
namespace Formatting {

struct OptionalLineColumn {
    std::optional<std::int64_t> line;
    std::optional<std::int64_t> column;
    bool operator==(const OptionalLineColumn &) const = default;
};

// The error record for a reader's `description` (UTF-8) of a fault in `source`: the message is
// the description without its position phrases, trimmed; the position comes from
// extractLineCol on the untouched description.
ValidationError parseError(std::string_view description, std::u16string_view source);

// The position a description states. "line L, column C" is tried first and wins even when a
// character phrase is present; each number is absent when it does not fit a signed 64-bit
// integer. Otherwise "character N" gives positionFromCharIndex(N, source). Otherwise both are
// absent.
OptionalLineColumn extractLineCol(std::string_view description, std::u16string_view source);

// Line and column reached after walking the first max(offset, 0) bytes of the UTF-8 form of
// `source` (stopping at its end): LF starts a new line at column 1, every other byte (CR, each
// byte of a multi-byte character) adds one column. An empty source gives 1, 1. Unpaired
// surrogates count as the three bytes of U+FFFD.
OptionalLineColumn positionFromCharIndex(std::int64_t offset, std::u16string_view source);

} // namespace Formatting
