#pragma once

#include <cstddef>
#include <string>

namespace SaveTests {

// Printable lines that differ from every other seed's at nearly every byte, so that any mix
// of two contents is told apart from both.
inline std::string pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (i % 64 == 63) ? '\n' : char('!' + (state >> 24) % 90);
    }
    return bytes;
}

} // namespace SaveTests
