#include "textscan_p.h"

#include "base/utf.h"


#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Formatting::Internal {

std::size_t findLineFeed(std::u16string_view text, std::size_t from)
{
    const std::size_t n = text.size();
    const char16_t *in = text.data();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi16(u'\n');
    while (n - i >= 8 && i < n) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(units, lineFeed)));
        if (mask)
            return i + std::size_t(__builtin_ctz(mask)) / 2;
        i += 8;
    }
#endif
    for (; i < n; ++i)
        if (in[i] == u'\n')
            return i;
    return n;
}

// ---- UTF-16 to UTF-8 ----------------------------------------------------------------------
// Structured text is mostly ASCII, so runs of ASCII are narrowed 16 units at a time; everything
// else takes the scalar path. The output is sized for the worst case (3 bytes per unit) up
// front: untouched capacity costs no page faults.

std::size_t encodeUtf8(std::u16string_view text, Base::ByteBuffer &out)
{
    out.clear();
    const std::size_t unpaired = appendUtf8(text, out);
    if (unpaired == std::u16string_view::npos)
        terminate(out);
    return unpaired;
}

void terminate(Base::ByteBuffer &out)
{
    out.reserve(out.size() + 1);
    out.data()[out.size()] = 0;
}

std::size_t appendUtf8(std::u16string_view text, Base::ByteBuffer &out)
{
    const std::size_t n = text.size();
    const std::size_t start = out.size();
    out.reserve(start + 3 * n + 1);
    const char16_t *in = text.data();
    auto *o = reinterpret_cast<unsigned char *>(out.data() + start);
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        const __m128i nonAscii = _mm_set1_epi16(short(0xFF80));
        while (n - i >= 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 8));
            const __m128i high = _mm_and_si128(_mm_or_si128(a, b), nonAscii);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_packus_epi16(a, b));
            o += 16;
            i += 16;
        }
        if (i >= n)
            break;
#endif
        const char16_t c = in[i];
        if (c < 0x80) {
            *o++ = static_cast<unsigned char>(c);
            ++i;
        } else if (c < 0x800) {
            *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            ++i;
        } else if (!Base::Utf::isSurrogate(c)) {
            *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            ++i;
        } else if (Base::Utf::isHighSurrogate(c) && i + 1 < n && Base::Utf::isLowSurrogate(in[i + 1])) {
            const char32_t scalar = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(in[i + 1]) - 0xDC00);
            *o++ = static_cast<unsigned char>(0xF0 | (scalar >> 18));
            *o++ = static_cast<unsigned char>(0x80 | ((scalar >> 12) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | ((scalar >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (scalar & 0x3F));
            i += 2;
        } else {
            return i;
        }
    }
    out.resize(std::size_t(o - reinterpret_cast<unsigned char *>(out.data())));
    return std::u16string_view::npos;
}

Base::ByteBuffer &threadScratch()
{
    thread_local Base::ByteBuffer buffer;
    return buffer;
}

void releaseLargeScratch(Base::ByteBuffer &scratch)
{
    constexpr std::size_t keptBytes = 4 << 20;
    if (scratch.capacity() > keptBytes)
        scratch = Base::ByteBuffer();
}

// ---- Positions ----------------------------------------------------------------------------

LineColumn caretPosition(std::u16string_view text, std::size_t index)
{
    if (index > text.size())
        index = text.size();
    LineColumn position;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < index; ++i) {
        if (text[i] == u'\n') {
            ++position.line;
            lineStart = i + 1;
        }
    }
    const std::size_t offset = index - lineStart;
    position.column = Base::Text::caretColumn(text.substr(lineStart, offset));
    return position;
}

std::size_t utf16IndexOfUtf8Offset(std::u16string_view text, std::size_t byteOffset)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        std::size_t units = 1;
        if (Base::Utf::isHighSurrogate(c) && i + 1 < text.size() && Base::Utf::isLowSurrogate(text[i + 1])) {
            length = 4;
            units = 2;
        }
        if (byteOffset < bytes + length)
            return i;
        bytes += length;
        i += units - 1;
    }
    return text.size();
}

} // namespace Formatting::Internal
