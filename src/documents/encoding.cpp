#include "encoding.h"

#include "base/utf.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Documents {

namespace Internal {
// Code points of bytes 0x80–0xFF; 0 marks a byte the code page leaves undefined.
extern const char16_t windows1251High[128];
extern const char16_t windows1252High[128];
extern const char16_t macRomanHigh[128];
} // namespace Internal

namespace {

struct EncodingNames {
    Encoding encoding;
    std::string_view display;
    std::string_view id;
};

constexpr EncodingNames names[] = {
    {Encoding::Utf8, "UTF-8", "utf-8"},
    {Encoding::Utf16, "UTF-16", "utf-16"},
    {Encoding::Utf16LE, "UTF-16 LE", "utf-16le"},
    {Encoding::Utf16BE, "UTF-16 BE", "utf-16be"},
    {Encoding::Utf32LE, "UTF-32 LE", "utf-32le"},
    {Encoding::Utf32BE, "UTF-32 BE", "utf-32be"},
    {Encoding::Windows1251, "CP1251", "windows-1251"},
    {Encoding::Windows1252, "CP1252", "windows-1252"},
    {Encoding::Latin1, "Latin-1", "iso-8859-1"},
    {Encoding::MacRoman, "Mac Roman", "macintosh"},
    {Encoding::Ascii, "ASCII", "us-ascii"},
};

const char16_t *highTable(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Windows1251:
        return Internal::windows1251High;
    case Encoding::Windows1252:
        return Internal::windows1252High;
    case Encoding::MacRoman:
        return Internal::macRomanHigh;
    default:
        return nullptr;
    }
}

// ---- Single-byte code pages --------------------------------------------------------------

// The 256 code points of a single-byte encoding; 0 above 0x7F marks an undefined byte.
struct ByteTable {
    char16_t units[256] = {};
    unsigned char undefined[128] = {};
    int undefinedCount = 0;
    explicit ByteTable(Encoding encoding)
    {
        const char16_t *high = highTable(encoding);
        for (int i = 0; i < 256; ++i) {
            if (i < 0x80)
                units[i] = char16_t(i);
            else if (encoding == Encoding::Latin1)
                units[i] = char16_t(i);
            else if (high)
                units[i] = high[i - 0x80];
            if (i >= 0x80 && units[i] == 0)
                undefined[undefinedCount++] = static_cast<unsigned char>(i);
        }
    }
};

const ByteTable &byteTable(Encoding encoding)
{
    static const ByteTable windows1251(Encoding::Windows1251);
    static const ByteTable windows1252(Encoding::Windows1252);
    static const ByteTable latin1(Encoding::Latin1);
    static const ByteTable macRoman(Encoding::MacRoman);
    static const ByteTable ascii(Encoding::Ascii);
    switch (encoding) {
    case Encoding::Windows1251:
        return windows1251;
    case Encoding::Windows1252:
        return windows1252;
    case Encoding::Latin1:
        return latin1;
    case Encoding::MacRoman:
        return macRoman;
    default:
        return ascii;
    }
}

bool decodeSingleByte(Encoding encoding, std::string_view bytes, Base::U16Buffer &out)
{
    const ByteTable &table = byteTable(encoding);
    // A page with one undefined byte (Windows-1251) is rejected at memory speed before any
    // decoding: the fallback chain usually walks on from it, often because of a byte near the end.
    if (table.undefinedCount == 1 && std::memchr(bytes.data(), table.undefined[0], bytes.size()))
        return false;
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    char16_t *dest = out.data() + start;
    const auto *source = reinterpret_cast<const unsigned char *>(bytes.data());
    // Undefined high bytes map to 0; NUL itself is a defined low byte.
    unsigned undefined = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
#if defined(__SSE2__)
        // ASCII runs widen sixteen bytes at a time, as in UTF-8.
        if (bytes.size() - i >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + i));
            if (_mm_movemask_epi8(chunk) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dest + i), _mm_unpacklo_epi8(chunk, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dest + i + 8), _mm_unpackhi_epi8(chunk, zero));
                i += 16;
                continue;
            }
        }
#endif
        const std::size_t blockEnd = std::min(bytes.size(), i + 16);
        for (; i < blockEnd; ++i) {
            const unsigned char byte = source[i];
            const char16_t unit = table.units[byte];
            dest[i] = unit;
            undefined |= unsigned(unit == 0) & unsigned(byte >> 7);
        }
    }
    if (undefined) {
        out.resize(start);
        return false;
    }
    return true;
}

// Reverse map from a BMP code unit to its byte (0 = none), built once per code page.
struct ReverseTable {
    unsigned char bytes[0x10000] = {};
    explicit ReverseTable(const char16_t *high)
    {
        for (int i = 0; i < 128; ++i)
            if (high[i] != 0)
                bytes[high[i]] = static_cast<unsigned char>(0x80 + i);
    }
};

const ReverseTable &reverseTable(Encoding encoding)
{
    static const ReverseTable windows1251(Internal::windows1251High);
    static const ReverseTable windows1252(Internal::windows1252High);
    static const ReverseTable macRoman(Internal::macRomanHigh);
    switch (encoding) {
    case Encoding::Windows1251:
        return windows1251;
    case Encoding::Windows1252:
        return windows1252;
    default:
        return macRoman;
    }
}

bool encodeSingleByte(Encoding encoding, std::u16string_view text, std::string &out)
{
    const bool tableBased = highTable(encoding) != nullptr;
    const ReverseTable *reverse = tableBased ? &reverseTable(encoding) : nullptr;
    out.reserve(out.size() + text.size());
    for (char16_t unit : text) {
        if (unit < 0x80) {
            out.push_back(char(unit));
        } else if (encoding == Encoding::Latin1 && unit <= 0xFF) {
            out.push_back(char(unit));
        } else if (reverse && reverse->bytes[unit] != 0) {
            out.push_back(char(reverse->bytes[unit]));
        } else {
            return false;
        }
    }
    return true;
}

// ---- UTF-16 and UTF-32 --------------------------------------------------------------------

bool decodeUtf16(std::string_view bytes, bool bigEndian, Base::U16Buffer &out)
{
    if (bytes.size() % 2 != 0)
        return false;
    const std::size_t count = bytes.size() / 2;
    const std::size_t start = out.size();
    out.resize(start + count);
    char16_t *dest = out.data() + start;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned a = p[2 * i], b = p[2 * i + 1];
        dest[i] = char16_t(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    // Unpaired surrogates have no Unicode scalar value: reject them like any other invalid input.
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = dest[i];
        if (!Base::Utf::isSurrogate(unit))
            continue;
        if (Base::Utf::isHighSurrogate(unit) && i + 1 < count && Base::Utf::isLowSurrogate(dest[i + 1])) {
            ++i;
            continue;
        }
        out.resize(start + i);
        return false;
    }
    return true;
}

bool decodeUtf32(std::string_view bytes, bool bigEndian, Base::U16Buffer &out)
{
    if (bytes.size() % 4 != 0)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t count = bytes.size() / 4;
    out.reserve(out.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char *q = p + 4 * i;
        const char32_t c = bigEndian ? (char32_t(q[0]) << 24 | char32_t(q[1]) << 16 | char32_t(q[2]) << 8 | q[3])
                                     : (char32_t(q[3]) << 24 | char32_t(q[2]) << 16 | char32_t(q[1]) << 8 | q[0]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            out.push_back(char16_t(0xD800 + (v >> 10)));
            out.push_back(char16_t(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return true;
}

bool checkPairs(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!Base::Utf::isSurrogate(text[i]))
            continue;
        if (Base::Utf::isHighSurrogate(text[i]) && i + 1 < text.size() && Base::Utf::isLowSurrogate(text[i + 1]))
            ++i;
        else
            return false;
    }
    return true;
}

bool encodeUtf16(std::u16string_view text, bool bigEndian, std::string &out)
{
    if (!checkPairs(text))
        return false;
    const std::size_t start = out.size();
    out.resize(start + text.size() * 2);
    char *dest = out.data() + start;
    for (char16_t unit : text) {
        *dest++ = char(bigEndian ? unit >> 8 : unit & 0xFF);
        *dest++ = char(bigEndian ? unit & 0xFF : unit >> 8);
    }
    return true;
}

bool encodeUtf32(std::u16string_view text, bool bigEndian, std::string &out)
{
    out.reserve(out.size() + text.size() * 4);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (Base::Utf::isSurrogate(text[i])) {
            if (!(Base::Utf::isHighSurrogate(text[i]) && i + 1 < text.size()
                  && Base::Utf::isLowSurrogate(text[i + 1])))
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const char b[4] = {char(c >> 24), char((c >> 16) & 0xFF), char((c >> 8) & 0xFF), char(c & 0xFF)};
        if (bigEndian)
            out.append(b, 4);
        else
            out.append({b[3], b[2], b[1], b[0]});
    }
    return true;
}

} // namespace

std::string_view displayName(Encoding encoding)
{
    for (const auto &entry : names)
        if (entry.encoding == encoding)
            return entry.display;
    return "UTF-8";
}

std::string_view encodingId(Encoding encoding)
{
    for (const auto &entry : names)
        if (entry.encoding == encoding)
            return entry.id;
    return "utf-8";
}

std::optional<Encoding> encodingFromId(std::string_view id)
{
    for (const auto &entry : names)
        if (entry.id == id)
            return entry.encoding;
    return std::nullopt;
}

namespace BOMUtil {

std::optional<Match> detect(std::string_view bytes)
{
    const auto starts = [bytes](std::string_view mark) {
        return bytes.size() >= mark.size() && bytes.substr(0, mark.size()) == mark;
    };
    for (Encoding encoding : {Encoding::Utf32LE, Encoding::Utf32BE, Encoding::Utf8, Encoding::Utf16LE,
                              Encoding::Utf16BE}) {
        const std::string_view mark = BOMUtil::bytes(encoding);
        if (starts(mark))
            return Match{encoding, mark.size()};
    }
    return std::nullopt;
}

std::string_view bytes(Encoding encoding)
{
    using namespace std::string_view_literals;
    switch (encoding) {
    case Encoding::Utf8:
        return "\xEF\xBB\xBF"sv;
    case Encoding::Utf16LE:
        return "\xFF\xFE"sv;
    case Encoding::Utf16BE:
        return "\xFE\xFF"sv;
    case Encoding::Utf32LE:
        return "\xFF\xFE\x00\x00"sv;
    case Encoding::Utf32BE:
        return "\x00\x00\xFE\xFF"sv;
    default:
        return {};
    }
}

} // namespace BOMUtil

bool decode(Encoding encoding, std::string_view bytes, Base::U16Buffer &out)
{
    switch (encoding) {
    case Encoding::Utf8:
        return Base::Utf::decodeUtf8(bytes, out);
    case Encoding::Utf16:
    case Encoding::Utf16LE:
        return decodeUtf16(bytes, false, out);
    case Encoding::Utf16BE:
        return decodeUtf16(bytes, true, out);
    case Encoding::Utf32LE:
        return decodeUtf32(bytes, false, out);
    case Encoding::Utf32BE:
        return decodeUtf32(bytes, true, out);
    case Encoding::Windows1251:
    case Encoding::Windows1252:
    case Encoding::Latin1:
    case Encoding::MacRoman:
    case Encoding::Ascii:
        return decodeSingleByte(encoding, bytes, out);
    }
    return false;
}

bool encode(Encoding encoding, std::u16string_view text, std::string &out)
{
    switch (encoding) {
    case Encoding::Utf8:
        return Base::Utf::encodeUtf8(text, out);
    case Encoding::Utf16:
    case Encoding::Utf16LE:
        return encodeUtf16(text, false, out);
    case Encoding::Utf16BE:
        return encodeUtf16(text, true, out);
    case Encoding::Utf32LE:
        return encodeUtf32(text, false, out);
    case Encoding::Utf32BE:
        return encodeUtf32(text, true, out);
    case Encoding::Windows1251:
    case Encoding::Windows1252:
    case Encoding::Latin1:
    case Encoding::MacRoman:
    case Encoding::Ascii:
        return encodeSingleByte(encoding, text, out);
    }
    return false;
}

} // namespace Documents
