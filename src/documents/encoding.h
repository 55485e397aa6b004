#pragma once

#include "base/largebuffer.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Documents {

// The text encodings a document can be read in and written back to.
enum class Encoding {
    Utf8,
    Utf16,     // Byte order unspecified: written as little-endian.
    Utf16LE,
    Utf16BE,
    Utf32LE,
    Utf32BE,
    Windows1251,
    Windows1252,
    Latin1,    // ISO-8859-1
    MacRoman,
    Ascii,
};

// Status-bar name: "UTF-8", "UTF-16", "UTF-16 LE", …, "CP1251", "CP1252", "Latin-1",
// "Mac Roman", "ASCII".
std::string_view displayName(Encoding encoding);

// Machine name used by scripts (corvane-cli): "utf-8", "utf-16le", "windows-1251", …
std::string_view encodingId(Encoding encoding);
std::optional<Encoding> encodingFromId(std::string_view id);

inline constexpr std::array<Encoding, 11> allEncodings = {
    Encoding::Utf8,        Encoding::Utf16,       Encoding::Utf16LE, Encoding::Utf16BE,
    Encoding::Utf32LE,     Encoding::Utf32BE,     Encoding::Windows1251, Encoding::Windows1252,
    Encoding::Latin1,      Encoding::MacRoman,    Encoding::Ascii};

namespace BOMUtil {

struct Match {
    Encoding encoding;
    std::size_t length;
    bool operator==(const Match &) const = default;
};

// The byte-order mark at the start of `bytes`, tested as UTF-32 LE, UTF-32 BE, UTF-8,
// UTF-16 LE, UTF-16 BE; a test needing more bytes than there are is skipped. FF FE 00 00 is
// therefore always UTF-32 LE.
std::optional<Match> detect(std::string_view bytes);

// The mark written before text in `encoding`; empty for encodings without one (including
// UTF-16 and UTF-32 of unspecified order).
std::string_view bytes(Encoding encoding);

} // namespace BOMUtil

// Strict decoding of the whole of `bytes`, appended to `out`. False when any byte sequence has
// no mapping (a lossy conversion would have needed a replacement character); `out` then holds
// an unspecified prefix. Windows-1251 rejects its undefined byte 0x98, and Windows-1252 its
// undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, so that such files fall through to a code
// page that really maps every byte and are written back unchanged.
bool decode(Encoding encoding, std::string_view bytes, Base::U16Buffer &out);

// Strict encoding appended to `out`: false when a character has no representation (an unpaired
// surrogate included). UTF-16 of unspecified order is written little-endian.
bool encode(Encoding encoding, std::u16string_view text, std::string &out);

} // namespace Documents
