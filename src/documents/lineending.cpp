#include "lineending.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Documents {

std::string_view rawValue(LineEnding lineEnding)
{
    switch (lineEnding) {
    case LineEnding::Crlf:
        return "crlf";
    case LineEnding::Cr:
        return "cr";
    case LineEnding::Lf:
        break;
    }
    return "lf";
}

std::optional<LineEnding> lineEndingFromRawValue(std::string_view raw)
{
    for (LineEnding lineEnding : {LineEnding::Lf, LineEnding::Crlf, LineEnding::Cr})
        if (rawValue(lineEnding) == raw)
            return lineEnding;
    return std::nullopt;
}

std::string_view label(LineEnding lineEnding)
{
    switch (lineEnding) {
    case LineEnding::Crlf:
        return "CRLF";
    case LineEnding::Cr:
        return "CR";
    case LineEnding::Lf:
        break;
    }
    return "LF";
}

LineEnding detectLineEnding(std::u16string_view text)
{
    bool sawLf = false;
    bool sawCr = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            if (i > 0 && text[i - 1] == u'\r')
                return LineEnding::Crlf;
            sawLf = true;
        } else if (text[i] == u'\r') {
            sawCr = true;
        }
    }
    if (sawLf)
        return LineEnding::Lf;
    return sawCr ? LineEnding::Cr : LineEnding::Lf;
}

namespace {

// Runs once over every loaded file, so it is worth vector code.
bool containsCarriageReturn(std::u16string_view text)
{
    const char16_t *p = text.data();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i carriageReturn = _mm_set1_epi16(u'\r');
    for (; i + 32 <= text.size(); i += 32) {
        const auto at = [p, i](std::size_t offset) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + offset));
        };
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(at(0), carriageReturn), _mm_cmpeq_epi16(at(8), carriageReturn)),
            _mm_or_si128(_mm_cmpeq_epi16(at(16), carriageReturn), _mm_cmpeq_epi16(at(24), carriageReturn)));
        if (_mm_movemask_epi8(hits) != 0)
            return true;
    }
#endif
    for (; i < text.size(); ++i)
        if (p[i] == u'\r')
            return true;
    return false;
}

// Returns the new length. Compacts in one forward pass, so no second buffer is needed; blocks of
// eight units without a CR move as one vector.
std::size_t normalizeInPlace(char16_t *text, std::size_t size)
{
    std::size_t read = 0;
    std::size_t write = 0;
    while (read < size) {
#if defined(__SSE2__)
        if (size - read >= 8) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + read));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(block, _mm_set1_epi16(u'\r'))) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(text + write), block);
                read += 8;
                write += 8;
                continue;
            }
        }
#endif
        const char16_t unit = text[read++];
        if (unit == u'\r') {
            text[write++] = u'\n';
            if (read < size && text[read] == u'\n')
                ++read;
        } else {
            text[write++] = unit;
        }
    }
    return write;
}

} // namespace

LineEnding normalizeLineEndings(Base::U16Buffer &text)
{
    const std::u16string_view view = text.view();
    if (!containsCarriageReturn(view))
        return LineEnding::Lf;
    const LineEnding detected = detectLineEnding(view);
    text.resize(normalizeInPlace(text.data(), text.size()));
    return detected;
}

LineEnding normalizeLineEndings(std::u16string &text)
{
    if (!containsCarriageReturn(text))
        return LineEnding::Lf;
    const LineEnding detected = detectLineEnding(text);
    text.resize(normalizeInPlace(text.data(), text.size()));
    return detected;
}

std::u16string convertLineEndings(std::u16string_view text, LineEnding lineEnding)
{
    if (lineEnding == LineEnding::Lf)
        return std::u16string(text);
    const std::u16string_view lineBreak = lineEnding == LineEnding::Crlf ? u"\r\n" : u"\r";
    std::u16string out;
    out.reserve(text.size() + (lineEnding == LineEnding::Crlf ? std::count(text.begin(), text.end(), u'\n') : 0));
    for (char16_t unit : text) {
        if (unit == u'\n')
            out += lineBreak;
        else
            out.push_back(unit);
    }
    return out;
}

} // namespace Documents
