#include "utf.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Base::Utf {

namespace {

// Length of the sequence a lead byte starts, or 0 for bytes that cannot lead.
int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2)
        return 0;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF5)
        return 4;
    return 0;
}

// Decodes one non-ASCII sequence at `p`; returns its length, or 0 if it is invalid.
int decodeSequence(const unsigned char *p, const unsigned char *end, char32_t &codePoint)
{
    const int length = sequenceLength(*p);
    if (length < 2 || end - p < length)
        return 0;
    for (int i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    switch (length) {
    case 2:
        codePoint = char32_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F);
        return 2;
    case 3:
        codePoint = char32_t(p[0] & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
        if (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return 0;
        return 3;
    default:
        codePoint = char32_t(p[0] & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12
                    | char32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
        if (codePoint < 0x10000 || codePoint > 0x10FFFF)
            return 0;
        return 4;
    }
}

void appendCodePoint(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

template<typename Sink>
bool decodeInto(std::string_view bytes, Sink &&emit, bool lossy)
{
    auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // ASCII runs dominate structured text: test eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull)
                break;
            for (int i = 0; i < 8; ++i)
                emit(char16_t(p[i]));
            p += 8;
        }
        if (p == end)
            break;
        if (*p < 0x80) {
            emit(char16_t(*p++));
            continue;
        }
        char32_t c = 0;
        const int length = decodeSequence(p, end, c);
        if (length == 0) {
            if (!lossy)
                return false;
            emit(char16_t(0xFFFD));
            ++p;
            continue;
        }
        p += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            emit(char16_t(0xD800 + (c >> 10)));
            emit(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            emit(char16_t(c));
        }
    }
    return true;
}

bool encodeInto(std::u16string_view text, std::string &out, bool lossy)
{
    out.reserve(out.size() + text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80) {
            out.push_back(char(unit));
        } else if (!isSurrogate(unit)) {
            appendCodePoint(out, unit);
        } else if (isHighSurrogate(unit) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            appendCodePoint(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (lossy) {
            appendCodePoint(out, 0xFFFD);
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

bool decodeUtf8(std::string_view bytes, U16Buffer &out)
{
    // UTF-16 never needs more units than UTF-8 has bytes.
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    char16_t *cursor = out.data() + start;
    auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    bool ok = true;
    while (p < end) {
        // ASCII runs dominate structured text: widen sixteen bytes at a time.
        while (end - p >= 16) {
#if defined(__SSE2__)
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i zero = _mm_setzero_si128();
            // Widening all sixteen is safe even when some are not ASCII: the output never runs
            // ahead of the input, so the stores stay inside the buffer and later writes replace
            // the units past the ASCII prefix.
            _mm_storeu_si128(reinterpret_cast<__m128i *>(cursor), _mm_unpacklo_epi8(chunk, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(cursor + 8), _mm_unpackhi_epi8(chunk, zero));
            if (const int nonAscii = _mm_movemask_epi8(chunk)) {
                const int prefix = __builtin_ctz(unsigned(nonAscii));
                cursor += prefix;
                p += prefix;
                break;
            }
#else
            std::uint64_t low, high;
            std::memcpy(&low, p, 8);
            std::memcpy(&high, p + 8, 8);
            if ((low | high) & 0x8080808080808080ull)
                break;
            for (int i = 0; i < 16; ++i)
                cursor[i] = p[i];
#endif
            cursor += 16;
            p += 16;
        }
        if (p == end)
            break;
        if (*p < 0x80) {
            *cursor++ = *p++;
            continue;
        }
        char32_t c = 0;
        const int length = decodeSequence(p, end, c);
        if (length == 0) {
            ok = false;
            break;
        }
        p += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            *cursor++ = char16_t(0xD800 + (c >> 10));
            *cursor++ = char16_t(0xDC00 + (c & 0x3FF));
        } else {
            *cursor++ = char16_t(c);
        }
    }
    out.resize(std::size_t(cursor - out.data()));
    return ok;
}

bool encodeUtf8(std::u16string_view text, std::string &out)
{
    return encodeInto(text, out, false);
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    encodeInto(text, out, true);
    return out;
}

std::u16string toUtf16(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    decodeInto(bytes, [&out](char16_t unit) { out.push_back(unit); }, true);
    return out;
}

bool holdsEncodedSurrogate(std::string_view bytes)
{
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    // Lead byte ED is rare in text (U+D000–U+D7FF), so memchr skips almost everything.
    while (end - p >= 2) {
        const auto *lead = static_cast<const char *>(std::memchr(p, 0xED, std::size_t(end - p - 1)));
        if (!lead)
            return false;
        if (static_cast<unsigned char>(lead[1]) >= 0xA0)
            return true;
        p = lead + 1;
    }
    return false;
}

std::size_t utf16Length(std::string_view utf8Bytes)
{
    std::size_t units = 0;
    for (unsigned char byte : utf8Bytes) {
        if ((byte & 0xC0) != 0x80)
            ++units;
        if (byte >= 0xF0)
            ++units; // A four-byte sequence is a surrogate pair.
    }
    return units;
}

} // namespace Base::Utf
