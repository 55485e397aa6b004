#include "jsonformatter.h"

#include "formatting/jsonerrorlocation.h"
#include "formatting/jsonreader_p.h"
#include "base/utf.h"
#include "formatting/textscan_p.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Formatting {

namespace Internal {
// One past the closing quote of the string that starts at `quote`, or the text's end.
std::size_t stringEnd(std::u16string_view text, std::size_t quote);
// The length that re-indenting `rest` at `depth` adds, counted up to a little past `limit`.
std::size_t reindentedLength(std::u16string_view rest, std::size_t depth, std::size_t limit);
} // namespace Internal

namespace {

constexpr std::string_view encodingErrorText = "Encoding error";

// ---- Checking -----------------------------------------------------------------------------

// Encodes and reads `source`. nullopt when it is valid JSON; otherwise the fault, positioned in
// `source` (line and caret column).
std::optional<ValidationError> checkSource(std::u16string_view source)
{
    Base::ByteBuffer &bytes = Internal::threadScratch();
    const std::size_t unpaired = Internal::encodeUtf8(source, bytes);
    if (unpaired != std::u16string_view::npos) {
        // A position helps the user find the character that cannot be saved either.
        const Internal::LineColumn position = Internal::caretPosition(source, unpaired);
        return ValidationError{std::string(encodingErrorText), position.line, position.column};
    }
    const Internal::ReaderResult result = Internal::readJson(bytes, source);
    Internal::releaseLargeScratch(bytes);
    if (result.ok)
        return std::nullopt;
    return parseError(Internal::describe(result, source), source);
}

// Pieces small enough for the stack of a worker thread, large enough to encode at full speed.
constexpr std::size_t snapshotPiece = 32 * 1024;

std::optional<Base::U16Buffer> copyOf(const Base::TextSnapshot &snapshot)
{
    // In pieces: an edit waits for a copy under way, and a 50 MB one takes tens of milliseconds.
    Base::U16Buffer text(snapshot.length());
    text.resize(snapshot.length());
    for (std::size_t at = 0; at < snapshot.length(); at += snapshotPiece)
        if (!snapshot.copy(at, std::min(snapshotPiece, snapshot.length() - at), text.data() + at))
            return std::nullopt;
    return text;
}

// ---- Re-indenting -------------------------------------------------------------------------

bool isDroppedSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Units copied through unchanged outside strings: everything but the structural characters,
// the quote and the four dropped white-space characters.
bool isPlain(char16_t c)
{
    switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\r':
    case u'"':
    case u'{':
    case u'}':
    case u'[':
    case u']':
    case u',':
    case u':':
        return false;
    default:
        return true;
    }
}

// Output cursor over a U16Buffer; `reserve` keeps room for the next write.
class Output {
public:
    Output(std::size_t initialCapacity, std::size_t maximumLength) : m_maximum(maximumLength)
    {
        m_buffer.reserve(std::max<std::size_t>(initialCapacity, 16));
        m_cursor = m_buffer.data();
        m_end = m_buffer.data() + m_buffer.capacity();
    }

    // False when the output would grow past its maximum.
    bool reserve(std::size_t units)
    {
        if (std::size_t(m_end - m_cursor) >= units)
            return true;
        const std::size_t used = std::size_t(m_cursor - m_buffer.data());
        if (used + units > m_maximum)
            return false;
        m_buffer.resize(used);
        m_buffer.reserve(std::max(used + units, m_buffer.capacity() + m_buffer.capacity() / 2));
        m_cursor = m_buffer.data() + used;
        m_end = m_buffer.data() + m_buffer.capacity();
        return true;
    }
    std::size_t size() const { return std::size_t(m_cursor - m_buffer.data()); }
    void put(char16_t c) { *m_cursor++ = c; }
    char16_t *cursor() { return m_cursor; }
    void advance(std::size_t units) { m_cursor += units; }
    void copy(const char16_t *from, std::size_t count)
    {
        if (count <= 8) {
            // Numbers and literals are short: a call to memcpy costs more than the copy.
            for (std::size_t k = 0; k < count; ++k)
                m_cursor[k] = from[k];
        } else {
            std::memcpy(m_cursor, from, count * sizeof(char16_t));
        }
        m_cursor += count;
    }
    void spaces(std::size_t count)
    {
        std::fill_n(m_cursor, count, u' ');
        m_cursor += count;
    }
    Base::U16Buffer finish()
    {
        m_buffer.resize(std::size_t(m_cursor - m_buffer.data()));
        return std::move(m_buffer);
    }

private:
    Base::U16Buffer m_buffer;
    char16_t *m_cursor = nullptr;
    char16_t *m_end = nullptr;
    std::size_t m_maximum;
};

} // namespace

Validation JSONFormatter::validate(std::u16string_view text)
{
    if (Internal::trimmed(text).empty())
        return Validation::empty();
    if (auto error = checkSource(text))
        return Validation::invalid(std::move(*error));
    return Validation::valid();
}

std::optional<Validation> JSONFormatter::validate(const Base::TextSnapshot &snapshot)
{
    const std::size_t length = snapshot.length();
    Base::ByteBuffer &bytes = Internal::threadScratch();
    bytes.clear();
    bytes.reserve(length + 3 * snapshotPiece + 1);
    char16_t piece[snapshotPiece];
    bool hasContent = false;
    bool encodable = true;
    for (std::size_t at = 0; at < length && encodable;) {
        std::size_t count = std::min(snapshotPiece, length - at);
        if (!snapshot.copy(at, count, piece)) {
            Internal::releaseLargeScratch(bytes);
            return std::nullopt;
        }
        // A surrogate pair split between two pieces would look unpaired.
        if (at + count < length && count > 1 && Base::Utf::isHighSurrogate(piece[count - 1]))
            --count;
        const std::u16string_view units(piece, count);
        hasContent = hasContent || !Internal::trimmed(units).empty();
        encodable = Internal::appendUtf8(units, bytes) == std::u16string_view::npos;
        at += count;
    }
    if (encodable && !hasContent) {
        Internal::releaseLargeScratch(bytes);
        return Validation::empty();
    }
    Internal::ReaderResult result;
    if (encodable) {
        Internal::terminate(bytes);
        result = Internal::readJsonBytes(bytes);
    }
    Internal::releaseLargeScratch(bytes);
    if (encodable && result.ok)
        return Validation::valid();

    // Only a fault needs the text itself, to say where it is.
    const auto text = copyOf(snapshot);
    if (!text)
        return std::nullopt;
    if (!encodable)
        return validate(text->view());
    const Internal::ReaderResult located = Internal::locate(result, text->view());
    return Validation::invalid(parseError(Internal::describe(located, text->view()), text->view()));
}

namespace {

// Checks the lines of an NDJSON text in order, calling onFault(error, restStart) for each faulty
// one until it returns false; restStart is where the next line begins (possibly past the end).
// True when some line held anything.
template<class OnFault>
bool forEachNDJSONFault(std::u16string_view text, OnFault &&onFault)
{
    bool sawValue = false;
    std::int64_t lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = Internal::findLineFeed(text, start);
        ++lineNumber;
        const std::u16string_view line = Internal::trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        sawValue = true;
        if (auto error = checkSource(line)) {
            // The reader saw a one-line source: keep its column, use the document's line.
            error->line = lineNumber;
            if (!error->column)
                error->column = 1;
            if (!onFault(std::move(*error), start))
                return true;
        }
    }
    return sawValue;
}

} // namespace

Validation JSONFormatter::validateNDJSON(std::u16string_view text)
{
    std::optional<ValidationError> first;
    const bool sawValue = forEachNDJSONFault(text, [&](ValidationError &&error, std::size_t) {
        first = std::move(error);
        return false;
    });
    if (first)
        return Validation::invalid(std::move(*first));
    return sawValue ? Validation::valid() : Validation::empty();
}

ValidationList JSONFormatter::validateNDJSONAll(std::u16string_view text, std::size_t limit)
{
    ValidationList list;
    const bool sawValue = forEachNDJSONFault(text, [&](ValidationError &&error, std::size_t rest) {
        list.errors.push_back(std::move(error));
        if (limit == 0 || list.errors.size() < limit)
            return true;
        list.stoppedEarly = rest < text.size() && !Internal::trimmed(text.substr(rest)).empty();
        return false;
    });
    if (!list.errors.empty())
        list.state = Validation::State::Invalid;
    else
        list.state = sawValue ? Validation::State::Valid : Validation::State::Empty;
    return list;
}

Base::U16Buffer JSONFormatter::prettyPrint(std::u16string_view text)
{
    if (!checkSource(text)) {
        if (auto pretty = reindent(text))
            return std::move(*pretty);
    }
    Base::U16Buffer unchanged;
    unchanged.append(text.data(), text.size());
    return unchanged;
}

std::optional<Base::U16Buffer> JSONFormatter::reindent(std::u16string_view text, std::size_t maximumLength)
{
    const char16_t *in = text.data();
    const std::size_t n = text.size();
    // Minified documents grow to two or three times their length; reserving that much up front
    // saves copying on growth, and pages that are never written cost nothing.
    Output out(std::min(3 * n + 16, maximumLength), maximumLength);
    std::size_t depth = 0;
    std::size_t i = 0;
    // Deep nesting makes the output grow with the square of the depth. Once the output is far
    // larger than usual, the final length is counted before anything more is written, so a
    // hopeless document fails at once instead of after writing the maximum.
    const std::size_t unusualLength = 8 * n + 1024 * 1024;
    bool counted = false;
    auto newline = [&]() {
        if (!counted && out.size() > unusualLength) {
            counted = true;
            if (out.size() + Internal::reindentedLength(text.substr(i + 1), depth, maximumLength) > maximumLength)
                return false;
        }
        if (!out.reserve(1 + 2 * depth))
            return false;
        out.put(u'\n');
        out.spaces(2 * depth);
        return true;
    };

    while (i < n) {
        const char16_t c = in[i];
        switch (c) {
        case u'"': {
            // Copy the whole string through its closing quote; a backslash protects the unit
            // after it. An unterminated string runs to the end of the text.
            if (!out.reserve(1))
                return std::nullopt;
            out.put(c);
            ++i;
            for (;;) {
#if defined(__SSE2__)
                // Eight units at a time: store them, then keep those before a quote or backslash.
                const __m128i quote = _mm_set1_epi16(u'"');
                const __m128i backslash = _mm_set1_epi16(u'\\');
                while (n - i >= 8) {
                    if (!out.reserve(8))
                        return std::nullopt;
                    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(out.cursor()), units);
                    const unsigned mask = unsigned(_mm_movemask_epi8(
                        _mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash))));
                    if (mask == 0) {
                        out.advance(8);
                        i += 8;
                        continue;
                    }
                    const std::size_t plain = std::size_t(__builtin_ctz(mask)) / 2;
                    out.advance(plain);
                    i += plain;
                    break;
                }
#endif
                if (i >= n)
                    break;
                const char16_t s = in[i];
                if (!out.reserve(2))
                    return std::nullopt;
                out.put(s);
                ++i;
                if (s == u'"')
                    break;
                if (s == u'\\' && i < n)
                    out.put(in[i++]);
            }
            break;
        }
        case u' ':
        case u'\t':
        case u'\n':
        case u'\r':
            ++i;
            break;
        case u'{':
        case u'[': {
            const char16_t closer = c == u'{' ? u'}' : u']';
            std::size_t k = i + 1;
            while (k < n && isDroppedSpace(in[k]))
                ++k;
            if (k < n && in[k] == closer) {
                if (!out.reserve(2))
                    return std::nullopt;
                out.put(c);
                out.put(closer);
                i = k + 1;
                break;
            }
            ++depth;
            if (!out.reserve(1))
                return std::nullopt;
            out.put(c);
            if (!newline())
                return std::nullopt;
            ++i;
            break;
        }
        case u'}':
        case u']':
            depth = depth > 0 ? depth - 1 : 0;
            if (!newline() || !out.reserve(1))
                return std::nullopt;
            out.put(c);
            ++i;
            break;
        case u',':
            if (!out.reserve(1))
                return std::nullopt;
            out.put(u',');
            if (!newline())
                return std::nullopt;
            ++i;
            break;
        case u':':
            if (!out.reserve(2))
                return std::nullopt;
            out.put(u':');
            out.put(u' ');
            ++i;
            break;
        default: {
            std::size_t j = i + 1;
            while (j < n && isPlain(in[j]))
                ++j;
            if (!out.reserve(j - i))
                return std::nullopt;
            out.copy(in + i, j - i);
            i = j;
            break;
        }
        }
    }
    return out.finish();
}

namespace Internal {

std::size_t stringEnd(std::u16string_view text, std::size_t quote)
{
    const std::size_t n = text.size();
    std::size_t j = quote + 1;
    while (j < n) {
        const char16_t s = text[j];
        if (s == u'"')
            return j + 1;
        j += s == u'\\' ? 2 : 1;
    }
    return n;
}

std::size_t reindentedLength(std::u16string_view rest, std::size_t depth, std::size_t limit)
{
    const std::size_t n = rest.size();
    std::size_t length = 0;
    std::size_t i = 0;
    while (i < n && length <= limit) {
        const char16_t c = rest[i];
        switch (c) {
        case u'"': {
            const std::size_t j = stringEnd(rest, i);
            length += j - i;
            i = j;
            break;
        }
        case u' ':
        case u'\t':
        case u'\n':
        case u'\r':
            ++i;
            break;
        case u'{':
        case u'[': {
            const char16_t closer = c == u'{' ? u'}' : u']';
            std::size_t k = i + 1;
            while (k < n && isDroppedSpace(rest[k]))
                ++k;
            if (k < n && rest[k] == closer) {
                length += 2;
                i = k + 1;
                break;
            }
            ++depth;
            length += 2 + 2 * depth;
            ++i;
            break;
        }
        case u'}':
        case u']':
            depth = depth > 0 ? depth - 1 : 0;
            length += 2 + 2 * depth;
            ++i;
            break;
        case u',':
            length += 2 + 2 * depth;
            ++i;
            break;
        case u':':
            length += 2;
            ++i;
            break;
        default:
            ++length;
            ++i;
            break;
        }
    }
    return length;
}

} // namespace Internal

} // namespace Formatting
