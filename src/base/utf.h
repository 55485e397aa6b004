#pragma once

#include "base/largebuffer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Conversions between UTF-8 and the UTF-16 that all engines work in.
namespace Base::Utf {

constexpr bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool isSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Strict UTF-8 → UTF-16, appended to `out`. Rejects overlong forms, surrogates, code points
// above U+10FFFF and truncated sequences; on rejection `out` holds an unspecified prefix.
bool decodeUtf8(std::string_view bytes, U16Buffer &out);

// Strict UTF-16 → UTF-8, appended to `out`. Fails on an unpaired surrogate, leaving an
// unspecified prefix in `out`.
bool encodeUtf8(std::u16string_view text, std::string &out);

// Lossy variants for places that must always produce text (diagnostics, the CLI): invalid
// input becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view bytes);

// True when `bytes` hold the three-byte form of a surrogate code point (ED A0–BF): not UTF-8,
// and no text can hold it. JSON readers write that form for a \uDC00–\uDFFF escape that
// follows no high surrogate, so their callers test decoded strings with this.
bool holdsEncodedSurrogate(std::string_view bytes);

// The number of UTF-16 units that valid UTF-8 `utf8Bytes` decodes to: maps the byte offsets
// that UTF-8 parsers report back to positions in the UTF-16 text.
std::size_t utf16Length(std::string_view utf8Bytes);

} // namespace Base::Utf
