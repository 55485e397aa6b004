#pragma once

#include "base/utf.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Turns fuzzer bytes into document text. The first byte picks the reading: odd reads the rest
// as raw UTF-16 units (unpaired surrogates included), even decodes it as UTF-8, which keeps the
// mostly-ASCII grammars within the fuzzer's reach.
inline std::u16string fuzzText(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    const auto *rest = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;
    if (data[0] & 1) {
        std::u16string text(length / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = char16_t(std::uint8_t(rest[2 * i]) | std::uint8_t(rest[2 * i + 1]) << 8);
        return text;
    }
    return Base::Utf::toUtf16(std::string_view(rest, length));
}

// A broken invariant is a finding: stop so that the fuzzer records the input.
inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}
