#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Fuzz input as UTF-16: pairs of bytes are code units, so unpaired surrogates, BOMs and every
// BMP character are reachable; an odd last byte is one more unit.
inline std::u16string fuzzText(const std::uint8_t *data, std::size_t size)
{
    std::u16string text;
    text.reserve(size / 2 + 1);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
    if (size % 2)
        text.push_back(char16_t(data[size - 1]));
    return text;
}
