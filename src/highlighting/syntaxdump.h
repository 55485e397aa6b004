#pragma once

#include "highlighting/syntaxclass.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Readable forms of a colouring, for tools and reference files.
namespace Highlighting {

struct SyntaxRun {
    std::size_t start = 0;  // UTF-16 units.
    std::size_t length = 0; // UTF-16 units, at least 1.
    SyntaxClass syntaxClass = SyntaxClass::Base;
    friend constexpr bool operator==(const SyntaxRun &, const SyntaxRun &) = default;
};

// The maximal runs of one non-base class, in order. Bytes that are not a SyntaxClass value
// count as base.
std::vector<SyntaxRun> syntaxRuns(std::span<const std::uint8_t> classes);

// `text` as UTF-8 with every run written as «class:text», e.g. «property:"a"»: «number:1».
// Only the first text.size() classes are used; missing ones count as base.
std::string markedText(std::u16string_view text, std::span<const std::uint8_t> classes);

} // namespace Highlighting
