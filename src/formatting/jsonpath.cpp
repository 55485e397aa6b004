#include "jsonpath.h"

#include "formatting/textscan_p.h"

#include "base/text.h"
#include "base/utf.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <utf8proc.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Formatting {

namespace {

// ---- Fast skipping ------------------------------------------------------------------------
// Most of a large document is string contents and scalars; both are skipped eight units at a
// time, so the scan stays far below the time budget of a caret move on 50 MB.

// First index at or after `i` holding '"', '\' or LF (a raw LF ends a broken string), or n.
std::size_t findStringStop(const char16_t *p, std::size_t i, std::size_t n)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    const __m128i lineFeed = _mm_set1_epi16(u'\n');
    while (n - i >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash)),
                                          _mm_cmpeq_epi16(units, lineFeed));
        const unsigned mask = unsigned(_mm_movemask_epi8(hits));
        if (mask)
            return i + std::size_t(__builtin_ctz(mask)) / 2;
        i += 8;
    }
#endif
    for (; i < n; ++i)
        if (p[i] == u'"' || p[i] == u'\\' || p[i] == u'\n')
            return i;
    return n;
}

constexpr bool isStructural(char16_t c)
{
    return c == u'{' || c == u'}' || c == u'[' || c == u']' || c == u',' || c == u':' || c == u'"';
}

// First index at or after `i` holding a bracket, comma, colon or quote, or n.
std::size_t findStructural(const char16_t *p, std::size_t i, std::size_t n)
{
    // Scalars and the white space between tokens are short: look at a few units first.
    for (std::size_t stop = std::min(n, i + 4); i < stop; ++i)
        if (isStructural(p[i]))
            return i;
#if defined(__SSE2__)
    // '{' and '[' differ only in bit 0x20, as do '}' and ']'.
    const __m128i caseBit = _mm_set1_epi16(0x20);
    const __m128i openers = _mm_set1_epi16(u'{');
    const __m128i closers = _mm_set1_epi16(u'}');
    const __m128i comma = _mm_set1_epi16(u',');
    const __m128i colon = _mm_set1_epi16(u':');
    const __m128i quote = _mm_set1_epi16(u'"');
    while (n - i >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i folded = _mm_or_si128(units, caseBit);
        const __m128i brackets = _mm_or_si128(_mm_cmpeq_epi16(folded, openers), _mm_cmpeq_epi16(folded, closers));
        const __m128i marks = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, comma), _mm_cmpeq_epi16(units, colon)),
                                           _mm_cmpeq_epi16(units, quote));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(brackets, marks)));
        if (mask)
            return i + std::size_t(__builtin_ctz(mask)) / 2;
        i += 8;
    }
#endif
    for (; i < n; ++i)
        if (isStructural(p[i]))
            return i;
    return n;
}

constexpr bool isJsonSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// ---- Sources ------------------------------------------------------------------------------

struct ViewSource {
    std::u16string_view text;
    std::size_t size() const { return text.size(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const
    {
        std::memcpy(out, text.data() + position, count * sizeof(char16_t));
        return true;
    }
};

struct SnapshotSource {
    const Base::TextSnapshot &snapshot;
    std::size_t size() const { return snapshot.length(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const
    {
        return snapshot.copy(position, count, out);
    }
};

// Reads a source forward from a position through a small buffer: the look past the caret.
template<class Source>
class UnitReader {
public:
    UnitReader(const Source &source, std::size_t from, std::size_t end)
        : m_source(source), m_position(from), m_end(std::min(end, source.size()))
    {
    }
    std::size_t position() const { return m_position; }
    bool failed() const { return m_failed; }
    // True once the whole source was read, not just the look-ahead's share.
    bool atSourceEnd() const { return !m_failed && m_position >= m_source.size(); }
    // The unit at position(), or -1 at the end (or after a failed copy).
    int peek()
    {
        if (m_position >= m_end || m_failed)
            return -1;
        if (m_position < m_bufferStart || m_position >= m_bufferStart + m_bufferLength) {
            m_bufferStart = m_position;
            m_bufferLength = std::min(std::size_t(bufferSize), m_end - m_position);
            if (!m_source.copy(m_bufferStart, m_bufferLength, m_buffer)) {
                m_failed = true;
                return -1;
            }
        }
        return m_buffer[m_position - m_bufferStart];
    }
    void advance() { ++m_position; }

private:
    static constexpr std::size_t bufferSize = 512;
    const Source &m_source;
    std::size_t m_position;
    std::size_t m_end;
    std::size_t m_bufferStart = 0;
    std::size_t m_bufferLength = 0;
    bool m_failed = false;
    char16_t m_buffer[bufferSize];
};

// ---- The scan -----------------------------------------------------------------------------

enum class Kind : std::uint8_t { Root, Object, Array };
// ExpectKey: after "{" or ","; InKey: inside a key string; AfterKey: key closed, before ":";
// ExpectValue: after ":", "[" or an array's ","; AfterValue: a value started or ended.
enum class Phase : std::uint8_t { ExpectKey, InKey, AfterKey, ExpectValue, AfterValue };

struct Frame {
    std::size_t index = 0;    // Arrays: the current element.
    std::size_t keyStart = 0; // Objects: the current key's raw units, between its quotes.
    std::size_t keyEnd = 0;
    Kind kind = Kind::Root;
    Phase phase = Phase::ExpectValue;
    bool hasKey = false;
};

// Whether the text is one JSON value, or NDJSON where a record (and the look ahead) ends at its line.
enum class Records { Whole, PerLine };

class Scanner {
public:
    Scanner() { m_frames.push_back(Frame{}); }

    // Takes the units p[0, n), which sit at `base` in the text.
    void feed(const char16_t *p, std::size_t n, std::size_t base)
    {
        std::size_t i = 0;
        if (m_pendingEscape && n) {
            m_pendingEscape = false;
            i = 1;
        }
        while (i < n) {
            if (m_inString) {
                i = findStringStop(p, i, n);
                if (i == n)
                    break;
                if (p[i] == u'\\') {
                    if (i + 1 < n) {
                        i += 2;
                        continue;
                    }
                    m_pendingEscape = true;
                    break;
                }
                m_inString = false;
                if (m_stringIsKey) {
                    m_frames.back().keyEnd = base + i;
                    m_frames.back().phase = Phase::AfterKey;
                }
                ++i;
                continue;
            }
            m_justOpened = false;
            const char16_t c = p[i];
            if (isJsonSpace(c)) {
                ++i;
                continue;
            }
            m_sawToken = true;
            switch (c) {
            case u'"':
                openString(base + i);
                ++i;
                break;
            case u'{':
            case u'[':
                open(c == u'{' ? Kind::Object : Kind::Array);
                ++i;
                break;
            case u'}':
            case u']':
                close();
                ++i;
                break;
            case u',':
                comma();
                ++i;
                break;
            case u':':
                colon();
                ++i;
                break;
            default:
                startScalar();
                i = findStructural(p, i + 1, n);
                break;
            }
        }
    }

    // The block pass: reads whole 64-unit blocks, p[0, n) with n a multiple of 64, and acts
    // only on brackets, commas and colons outside strings, found with bit masks; a colon's key
    // is the string just before it. False when a string holds a raw LF: the block pass cannot
    // end strings there as feed() does, so the caller starts over with feed() alone.
    bool feedBlocks(const char16_t *p, std::size_t n, std::size_t base);
    // Where feed() takes over after feedBlocks(): just past the last bracket, comma or colon,
    // where the state is known exactly; `from` when there was none.
    std::size_t handoff(std::size_t from) const { return m_lastEvent ? *m_lastEvent + 1 : from; }

    template<class Source>
    std::optional<std::string> path(const Source &source, std::size_t offset, Records records) const;

private:
    void colonAfterKey(std::optional<std::size_t> open, std::optional<std::size_t> close)
    {
        if (m_overflow)
            return;
        Frame &frame = m_frames.back();
        if (frame.kind != Kind::Object)
            return;
        frame.phase = Phase::ExpectValue;
        frame.hasKey = open && close && *close > *open;
        if (frame.hasKey) {
            frame.keyStart = *open + 1;
            frame.keyEnd = *close;
        }
    }

    void openString(std::size_t position)
    {
        m_inString = true;
        m_stringIsKey = false;
        if (m_overflow)
            return;
        Frame &frame = m_frames.back();
        // A string where a key may stand is a key, also after a value with its comma missing.
        if (frame.kind == Kind::Object && (frame.phase == Phase::ExpectKey || frame.phase == Phase::AfterValue)) {
            m_stringIsKey = true;
            frame.phase = Phase::InKey;
            frame.hasKey = true;
            frame.keyStart = frame.keyEnd = position + 1;
        } else {
            frame.phase = Phase::AfterValue;
        }
    }
    void open(Kind kind)
    {
        if (m_overflow || m_frames.size() > maximumPathDepth) {
            ++m_overflow;
            return;
        }
        Frame &frame = m_frames.back();
        if (frame.kind == Kind::Object && frame.phase == Phase::ExpectKey)
            frame.hasKey = false;
        frame.phase = Phase::AfterValue;
        Frame child;
        child.kind = kind;
        child.phase = kind == Kind::Object ? Phase::ExpectKey : Phase::ExpectValue;
        m_frames.push_back(child);
        m_justOpened = true;
    }
    void close()
    {
        if (m_overflow) {
            --m_overflow;
            return;
        }
        // A stray closer at the top level changes nothing; a mismatched one still closes.
        if (m_frames.size() > 1)
            m_frames.pop_back();
    }
    void comma()
    {
        if (m_overflow)
            return;
        Frame &frame = m_frames.back();
        if (frame.kind == Kind::Object) {
            frame.phase = Phase::ExpectKey;
            frame.hasKey = false;
        } else if (frame.kind == Kind::Array) {
            ++frame.index;
            frame.phase = Phase::ExpectValue;
        }
    }
    void colon()
    {
        if (m_overflow)
            return;
        Frame &frame = m_frames.back();
        if (frame.kind == Kind::Object && frame.phase == Phase::AfterKey)
            frame.phase = Phase::ExpectValue;
    }
    void startScalar()
    {
        if (m_overflow)
            return;
        Frame &frame = m_frames.back();
        if (frame.phase == Phase::ExpectValue)
            frame.phase = Phase::AfterValue;
    }

    std::vector<Frame> m_frames; // [0] is the top level.
    std::size_t m_overflow = 0;  // Containers opened beyond maximumPathDepth.
    bool m_inString = false;
    bool m_stringIsKey = false;
    bool m_pendingEscape = false; // The last unit fed was a backslash inside a string.
    bool m_justOpened = false;    // The last unit fed opened a container.
    bool m_sawToken = false;

    // Carried from block to block by feedBlocks().
    bool m_blockInString = false;
    bool m_blockEscape = false; // The next block's first unit is escaped.
    std::optional<std::size_t> m_lastOpenQuote;
    std::optional<std::size_t> m_lastCloseQuote;
    std::optional<std::size_t> m_lastEvent;
};

// Bit k of each mask describes unit k of a 64-unit block.
struct BlockMasks {
    std::uint64_t quotes = 0;
    std::uint64_t backslashes = 0;
    std::uint64_t lineFeeds = 0;
    std::uint64_t brackets = 0;
    std::uint64_t commas = 0;
    std::uint64_t colons = 0;
};

BlockMasks classify(const char16_t *p)
{
    BlockMasks masks;
#if defined(__SSE2__)
    // Sixteen units per compare: narrowed with signed saturation, every unit above 0xFF turns
    // into 0x00 or 0xFF, neither of which is looked for.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i caseBit = _mm_set1_epi8(0x20); // '{' and '[' differ only in it, as do '}' and ']'.
    const __m128i openers = _mm_set1_epi8('{');
    const __m128i closers = _mm_set1_epi8('}');
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i colon = _mm_set1_epi8(':');
    auto mask = [](__m128i hits) { return std::uint64_t(unsigned(_mm_movemask_epi8(hits))); };
    for (int k = 0; k < 4; ++k) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k + 8));
        const __m128i bytes = _mm_packus_epi16(low, high);
        const __m128i folded = _mm_or_si128(bytes, caseBit);
        const int shift = 16 * k;
        masks.quotes |= mask(_mm_cmpeq_epi8(bytes, quote)) << shift;
        masks.backslashes |= mask(_mm_cmpeq_epi8(bytes, backslash)) << shift;
        masks.lineFeeds |= mask(_mm_cmpeq_epi8(bytes, lineFeed)) << shift;
        masks.brackets |= mask(_mm_or_si128(_mm_cmpeq_epi8(folded, openers), _mm_cmpeq_epi8(folded, closers))) << shift;
        masks.commas |= mask(_mm_cmpeq_epi8(bytes, comma)) << shift;
        masks.colons |= mask(_mm_cmpeq_epi8(bytes, colon)) << shift;
    }
#else
    for (int k = 0; k < 64; ++k) {
        const char16_t c = p[k];
        const std::uint64_t bit = std::uint64_t(1) << k;
        if (c == u'"')
            masks.quotes |= bit;
        else if (c == u'\\')
            masks.backslashes |= bit;
        else if (c == u'\n')
            masks.lineFeeds |= bit;
        else if (c == u'{' || c == u'}' || c == u'[' || c == u']')
            masks.brackets |= bit;
        else if (c == u',')
            masks.commas |= bit;
        else if (c == u':')
            masks.colons |= bit;
    }
#endif
    return masks;
}

// Bit k set when an odd number of bits at or below k are set: 1 from an opening quote up to,
// not including, its closing quote.
constexpr std::uint64_t prefixXor(std::uint64_t x)
{
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

constexpr std::size_t highestBit(std::uint64_t x)
{
    return 63 - std::size_t(__builtin_clzll(x));
}

// Bits 0 to k - 1.
constexpr std::uint64_t bitsBelow(std::size_t k)
{
    return k >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << k) - 1;
}

bool Scanner::feedBlocks(const char16_t *p, std::size_t n, std::size_t base)
{
    for (std::size_t block = 0; block + 64 <= n; block += 64) {
        const BlockMasks masks = classify(p + block);
        const std::size_t at = base + block;

        // Units escaped by a backslash; backslashes are rare, so one step per backslash.
        std::uint64_t escaped = 0;
        std::uint64_t backslashes = masks.backslashes;
        if (m_blockEscape) {
            escaped |= 1;
            backslashes &= ~std::uint64_t(1);
        }
        m_blockEscape = false;
        while (backslashes) {
            const int k = __builtin_ctzll(backslashes);
            if (k == 63) {
                m_blockEscape = true;
                break;
            }
            escaped |= std::uint64_t(1) << (k + 1);
            backslashes &= ~(std::uint64_t(3) << k);
        }

        const std::uint64_t quotes = masks.quotes & ~escaped;
        const std::uint64_t inString = prefixXor(quotes) ^ (m_blockInString ? ~std::uint64_t(0) : 0);
        m_blockInString = inString >> 63;
        if (masks.lineFeeds & inString)
            return false;
        const std::uint64_t openQuotes = quotes & inString;
        const std::uint64_t closeQuotes = quotes & ~inString;
        const std::uint64_t brackets = masks.brackets & ~inString;
        const std::uint64_t commas = masks.commas & ~inString;
        const std::uint64_t colons = masks.colons & ~inString;

        // Between two brackets the container stays the same, and only its last comma and last
        // colon matter: one step per bracket, whatever the number of members.
        std::size_t segmentStart = 0;
        for (std::uint64_t rest = brackets;;) {
            const std::size_t segmentEnd = rest ? std::size_t(__builtin_ctzll(rest)) : 64;
            const std::uint64_t segment = bitsBelow(segmentEnd) & ~bitsBelow(segmentStart);
            const std::uint64_t segmentCommas = commas & segment;
            const std::uint64_t segmentColons = colons & segment;
            if ((segmentCommas | segmentColons) && !m_overflow) {
                Frame &frame = m_frames.back();
                if (frame.kind == Kind::Array) {
                    if (segmentCommas) {
                        frame.index += std::size_t(__builtin_popcountll(segmentCommas));
                        frame.phase = Phase::ExpectValue;
                    }
                } else if (frame.kind == Kind::Object) {
                    const std::size_t lastColon = segmentColons ? highestBit(segmentColons) : 0;
                    if (segmentColons && (!segmentCommas || lastColon > highestBit(segmentCommas))) {
                        const std::uint64_t opens = openQuotes & bitsBelow(lastColon);
                        const std::uint64_t closes = closeQuotes & bitsBelow(lastColon);
                        colonAfterKey(opens ? std::optional<std::size_t>(at + highestBit(opens)) : m_lastOpenQuote,
                                      closes ? std::optional<std::size_t>(at + highestBit(closes)) : m_lastCloseQuote);
                    } else {
                        comma();
                    }
                }
            }
            if (!rest)
                break;
            switch (p[block + segmentEnd]) {
            case u'{': open(Kind::Object); break;
            case u'[': open(Kind::Array); break;
            default: close(); break;
            }
            segmentStart = segmentEnd + 1;
            rest &= rest - 1;
        }

        if (const std::uint64_t events = brackets | commas | colons) {
            const std::size_t last = highestBit(events);
            m_lastEvent = at + last;
            m_sawToken = true;
            m_justOpened = p[block + last] == u'{' || p[block + last] == u'[';
        }
        if (openQuotes)
            m_lastOpenQuote = at + highestBit(openQuotes);
        if (closeQuotes)
            m_lastCloseQuote = at + highestBit(closeQuotes);
        if (quotes)
            m_sawToken = true;
    }
    return true;
}

// ---- Keys ---------------------------------------------------------------------------------

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The key's text with JSON escapes resolved; a broken escape keeps what follows the backslash.
std::u16string decodeKey(std::u16string_view raw)
{
    std::u16string key;
    key.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char16_t c = raw[i];
        if (c != u'\\' || i + 1 == raw.size()) {
            key.push_back(c);
            continue;
        }
        const char16_t e = raw[++i];
        switch (e) {
        case u'b': key.push_back(u'\b'); break;
        case u'f': key.push_back(u'\f'); break;
        case u'n': key.push_back(u'\n'); break;
        case u'r': key.push_back(u'\r'); break;
        case u't': key.push_back(u'\t'); break;
        case u'u': {
            int value = 0;
            bool ok = i + 4 < raw.size();
            for (std::size_t k = 1; ok && k <= 4; ++k) {
                const int digit = hexValue(raw[i + k]);
                ok = digit >= 0;
                value = value * 16 + digit;
            }
            if (ok) {
                key.push_back(char16_t(value));
                i += 4;
            } else {
                key.push_back(e);
            }
            break;
        }
        default: key.push_back(e); break;
        }
    }
    return key;
}

// Characters that a reader could not see or tell from a space: such keys are quoted.
bool isInvisible(char16_t c)
{
    return Base::Text::isWhitespaceOrNewline(c) || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E)
           || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || c == 0x00AD;
}

bool isShorthandName(std::u16string_view key)
{
    if (key.empty() || (key[0] >= u'0' && key[0] <= u'9'))
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char16_t c = key[i];
        if (c < 0x80) {
            if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'))
                return false;
        } else if (Base::Utf::isHighSurrogate(c) && i + 1 < key.size() && Base::Utf::isLowSurrogate(key[i + 1])) {
            ++i;
        } else if (Base::Utf::isSurrogate(c) || isInvisible(c)) {
            return false;
        }
    }
    return true;
}

void appendKeySegment(std::string &path, std::u16string_view key)
{
    if (isShorthandName(key)) {
        path += '.';
        path += Base::Utf::toUtf8(key);
        return;
    }
    std::u16string quoted = u"['";
    for (const char16_t c : key) {
        switch (c) {
        case u'\'': quoted += u"\\'"; break;
        case u'\\': quoted += u"\\\\"; break;
        case u'\b': quoted += u"\\b"; break;
        case u'\f': quoted += u"\\f"; break;
        case u'\n': quoted += u"\\n"; break;
        case u'\r': quoted += u"\\r"; break;
        case u'\t': quoted += u"\\t"; break;
        default:
            if (c < 0x20) {
                static constexpr char16_t digits[] = u"0123456789abcdef";
                quoted += u"\\u00";
                quoted += digits[c >> 4];
                quoted += digits[c & 15];
            } else {
                quoted += c;
            }
            break;
        }
    }
    quoted += u"']";
    path += Base::Utf::toUtf8(quoted);
}

template<class Source>
bool appendKey(std::string &path, const Source &source, std::size_t start, std::size_t end)
{
    std::u16string raw(end - start, u'\0');
    if (end > start && !source.copy(start, end - start, raw.data()))
        return false;
    appendKeySegment(path, decodeKey(raw));
    return true;
}

// Skips white space from the reader's position (not past a LF in line mode).
template<class Source>
int skipSpace(UnitReader<Source> &reader, bool lineMode)
{
    int c = reader.peek();
    while (c >= 0 && isJsonSpace(char16_t(c)) && !(lineMode && c == u'\n')) {
        reader.advance();
        c = reader.peek();
    }
    return c;
}

// Where the key string being read ends: at its closing quote, a LF or the end of the text.
// nullopt when none of them comes within the look-ahead.
template<class Source>
std::optional<std::size_t> keyEnd(UnitReader<Source> &reader, bool escaped)
{
    for (int c = reader.peek(); c >= 0; c = reader.peek()) {
        // A LF ends a broken key even right after a backslash: strings never span lines.
        if (c == u'\n')
            return reader.position();
        if (escaped) {
            escaped = false;
        } else if (c == u'"') {
            return reader.position();
        } else if (c == u'\\') {
            escaped = true;
        }
        reader.advance();
    }
    if (reader.atSourceEnd())
        return reader.position();
    return std::nullopt;
}

template<class Source>
std::optional<std::string> Scanner::path(const Source &source, std::size_t offset, Records records) const
{
    const bool lineMode = records == Records::PerLine;
    const std::size_t aheadEnd = offset + lookaheadLimit;
    if (!m_sawToken) {
        // Only white space so far: the rest decides whether there is a value at all.
        UnitReader<Source> reader(source, offset, lineMode ? aheadEnd : source.size());
        const int next = skipSpace(reader, lineMode);
        if (reader.failed() || next < 0 || next == u'\n')
            return std::nullopt;
    }
    if (m_overflow)
        return std::nullopt;

    std::string path = "$";
    const std::size_t top = m_frames.size() - 1;
    for (std::size_t k = 1; k < top; ++k) {
        const Frame &frame = m_frames[k];
        if (frame.kind == Kind::Array) {
            path += '[' + std::to_string(frame.index) + ']';
        } else if (frame.hasKey && !appendKey(path, source, frame.keyStart, frame.keyEnd)) {
            return std::nullopt;
        }
    }
    if (top == 0 || m_justOpened)
        return path;

    const Frame &frame = m_frames[top];
    UnitReader<Source> reader(source, offset, aheadEnd);
    if (frame.kind == Kind::Array) {
        if (frame.phase == Phase::ExpectValue && frame.index == 0) {
            const int next = skipSpace(reader, lineMode);
            if (reader.failed())
                return std::nullopt;
            if (next == u']')
                return path;
        }
        return path + '[' + std::to_string(frame.index) + ']';
    }
    switch (frame.phase) {
    case Phase::InKey: {
        const auto end = keyEnd(reader, m_pendingEscape);
        if (reader.failed())
            return std::nullopt;
        if (end && !appendKey(path, source, frame.keyStart, *end))
            return std::nullopt;
        return path;
    }
    case Phase::ExpectKey: {
        const int next = skipSpace(reader, lineMode);
        if (next == u'"') {
            const std::size_t start = reader.position() + 1;
            reader.advance();
            const auto end = keyEnd(reader, false);
            if (reader.failed())
                return std::nullopt;
            if (end && !appendKey(path, source, start, *end))
                return std::nullopt;
        }
        if (reader.failed())
            return std::nullopt;
        return path;
    }
    case Phase::AfterKey:
    case Phase::ExpectValue:
    case Phase::AfterValue:
        if (frame.hasKey && !appendKey(path, source, frame.keyStart, frame.keyEnd))
            return std::nullopt;
        return path;
    }
    return path;
}

// Pieces copied from a snapshot: large enough to scan at full speed, small enough for the
// stack of a worker thread.
constexpr std::size_t snapshotPiece = 16 * 1024;

// Feeds [from, to) of a snapshot to the scanner; false when it was revoked.
bool feedSnapshot(Scanner &scanner, const Base::TextSnapshot &snapshot, std::size_t from, std::size_t to)
{
    char16_t piece[snapshotPiece];
    for (std::size_t at = from; at < to;) {
        const std::size_t count = std::min(snapshotPiece, to - at);
        if (!snapshot.copy(at, count, piece))
            return false;
        scanner.feed(piece, count, at);
        at += count;
    }
    return true;
}

// The scanner's state at `to` after reading [from, to): blocks first, the rest unit by unit.
Scanner scanView(std::u16string_view text, std::size_t from, std::size_t to)
{
    Scanner scanner;
    const std::size_t blocks = (to - from) & ~std::size_t(63);
    if (!scanner.feedBlocks(text.data() + from, blocks, from)) {
        scanner = Scanner();
        scanner.feed(text.data() + from, to - from, from);
        return scanner;
    }
    const std::size_t resume = scanner.handoff(from);
    scanner.feed(text.data() + resume, to - resume, resume);
    return scanner;
}

std::optional<Scanner> scanSnapshot(const Base::TextSnapshot &snapshot, std::size_t from, std::size_t to)
{
    static_assert(snapshotPiece % 64 == 0);
    Scanner scanner;
    bool blocksHeld = true;
    {
        char16_t piece[snapshotPiece];
        const std::size_t blocksEnd = from + ((to - from) & ~std::size_t(63));
        for (std::size_t at = from; at < blocksEnd && blocksHeld;) {
            const std::size_t count = std::min(snapshotPiece, blocksEnd - at);
            // Scanned where it lies; only a piece the storage's gap splits is gathered first.
            std::size_t gathered = 0;
            bool scanned = false;
            const bool read = snapshot.read(at, count, [&](std::u16string_view part) {
                if (part.size() == count) {
                    blocksHeld = scanner.feedBlocks(part.data(), count, at);
                    scanned = true;
                    return;
                }
                std::copy(part.begin(), part.end(), piece + gathered);
                gathered += part.size();
            });
            if (!read)
                return std::nullopt;
            if (!scanned)
                blocksHeld = scanner.feedBlocks(piece, count, at);
            at += count;
        }
    }
    if (!blocksHeld) {
        scanner = Scanner();
        if (!feedSnapshot(scanner, snapshot, from, to))
            return std::nullopt;
        return scanner;
    }
    if (!feedSnapshot(scanner, snapshot, scanner.handoff(from), to))
        return std::nullopt;
    return scanner;
}

std::string recordPrefix(std::size_t lineIndex, const std::string &pathInRecord)
{
    return "$[" + std::to_string(lineIndex) + "]" + pathInRecord.substr(1);
}

} // namespace

std::optional<std::string> jsonPathAt(std::u16string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    return scanView(text, 0, offset).path(ViewSource{text}, offset, Records::Whole);
}

std::optional<std::string> jsonPathAt(const Base::TextSnapshot &text, std::size_t offset)
{
    offset = std::min(offset, text.length());
    const auto scanner = scanSnapshot(text, 0, offset);
    if (!scanner)
        return std::nullopt;
    auto path = scanner->path(SnapshotSource{text}, offset, Records::Whole);
    if (text.isRevoked())
        return std::nullopt;
    return path;
}

std::optional<std::string> ndjsonPathAt(std::u16string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    std::size_t lineIndex = 0;
    std::size_t lineStart = 0;
    for (std::size_t lf = Internal::findLineFeed(text, 0); lf < offset; lf = Internal::findLineFeed(text, lf + 1)) {
        ++lineIndex;
        lineStart = lf + 1;
    }
    // The record ends at its line's end: nothing after it is read.
    const std::u16string_view record = text.substr(lineStart, Internal::findLineFeed(text, offset) - lineStart);
    const auto path = scanView(record, 0, offset - lineStart).path(ViewSource{record}, offset - lineStart, Records::PerLine);
    if (!path)
        return std::nullopt;
    return recordPrefix(lineIndex, *path);
}

std::optional<std::string> ndjsonPathAt(const Base::TextSnapshot &text, std::size_t offset)
{
    offset = std::min(offset, text.length());
    std::size_t lineIndex = 0;
    std::size_t lineStart = 0;
    {
        for (std::size_t at = 0; at < offset;) {
            const std::size_t count = std::min(snapshotPiece, offset - at);
            std::size_t base = at;
            const bool read = text.read(at, count, [&](std::u16string_view units) {
                for (std::size_t lf = Internal::findLineFeed(units, 0); lf < units.size();
                     lf = Internal::findLineFeed(units, lf + 1)) {
                    ++lineIndex;
                    lineStart = base + lf + 1;
                }
                base += units.size();
            });
            if (!read)
                return std::nullopt;
            at += count;
        }
    }
    const auto scanner = scanSnapshot(text, lineStart, offset);
    if (!scanner)
        return std::nullopt;
    // Key positions are absolute; line mode stops every look past the caret at the LF.
    const auto path = scanner->path(SnapshotSource{text}, offset, Records::PerLine);
    if (!path || text.isRevoked())
        return std::nullopt;
    return recordPrefix(lineIndex, *path);
}

std::optional<std::size_t> caretOffset(std::u16string_view text, std::int64_t line, std::int64_t column)
{
    if (line < 1 || column < 1)
        return std::nullopt;
    std::size_t lineStart = 0;
    for (std::int64_t k = 1; k < line; ++k) {
        const std::size_t lf = Internal::findLineFeed(text, lineStart);
        if (lf == text.size())
            return std::nullopt;
        lineStart = lf + 1;
    }
    const std::size_t lineEnd = Internal::findLineFeed(text, lineStart);
    const std::size_t steps = std::size_t(column - 1);
    // Past the grapheme limit the caret column counts code units.
    if (steps > Base::Text::graphemeColumnLimit)
        return std::min(lineEnd, lineStart + steps);

    std::size_t position = lineStart;
    std::size_t clusters = 0;
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    while (position < lineEnd) {
        std::size_t width = 1;
        utf8proc_int32_t scalar = text[position];
        if (Base::Utf::isHighSurrogate(text[position]) && position + 1 < lineEnd
            && Base::Utf::isLowSurrogate(text[position + 1])) {
            scalar = 0x10000 + ((scalar - 0xD800) << 10) + (text[position + 1] - 0xDC00);
            width = 2;
        } else if (Base::Utf::isSurrogate(text[position])) {
            scalar = 0xFFFD;
        }
        if (previous < 0 || utf8proc_grapheme_break_stateful(previous, scalar, &state)) {
            if (clusters == steps)
                return position;
            ++clusters;
        }
        previous = scalar;
        position += width;
    }
    return lineEnd;
}

// ---- From a path to its value -------------------------------------------------------------

namespace {

constexpr std::size_t npos = std::u16string_view::npos;

std::size_t skipJsonSpace(std::u16string_view text, std::size_t at)
{
    while (at < text.size() && isJsonSpace(text[at]))
        ++at;
    return at;
}

// Index after the string whose opening quote is at `at`; npos when it does not end on its line.
std::size_t skipString(std::u16string_view text, std::size_t at)
{
    for (std::size_t i = at + 1;;) {
        i = findStringStop(text.data(), i, text.size());
        if (i == text.size() || text[i] == u'\n')
            return npos;
        if (text[i] == u'"')
            return i + 1;
        i += 2; // A backslash and the unit it escapes.
        if (i > text.size())
            return npos;
    }
}

// Index after the value starting at `at`, brackets balanced and strings skipped.
std::size_t skipValue(std::u16string_view text, std::size_t at)
{
    if (at >= text.size())
        return npos;
    if (text[at] == u'"')
        return skipString(text, at);
    if (text[at] != u'{' && text[at] != u'[') {
        while (at < text.size() && !isStructural(text[at]) && !isJsonSpace(text[at]))
            ++at;
        return at;
    }
    std::size_t depth = 0;
    for (std::size_t i = at; i < text.size();) {
        i = findStructural(text.data(), i, text.size());
        if (i == text.size())
            break;
        const char16_t c = text[i];
        if (c == u'"') {
            i = skipString(text, i);
            if (i == npos)
                return npos;
            continue;
        }
        if (c == u'{' || c == u'[') {
            ++depth;
        } else if (c == u'}' || c == u']') {
            if (--depth == 0)
                return i + 1;
        }
        ++i;
    }
    return npos;
}

// The child's start inside the container at `at`, or npos.
std::size_t childStart(std::u16string_view text, std::size_t at, const JSONPathStep &step)
{
    const bool member = step.key.has_value();
    if (at >= text.size() || text[at] != (member ? u'{' : u'['))
        return npos;
    std::size_t found = npos;
    std::size_t element = 0;
    for (std::size_t i = at + 1;;) {
        i = skipJsonSpace(text, i);
        if (i >= text.size() || text[i] == (member ? u'}' : u']'))
            return found;
        if (member) {
            if (text[i] != u'"')
                return found;
            const std::size_t keyEnd = skipString(text, i);
            if (keyEnd == npos)
                return found;
            const bool matches = decodeKey(text.substr(i + 1, keyEnd - i - 2)) == *step.key;
            i = skipJsonSpace(text, keyEnd);
            if (i >= text.size() || text[i] != u':')
                return found;
            i = skipJsonSpace(text, i + 1);
            if (matches)
                found = i; // A later duplicate replaces it.
        } else if (element++ == step.index) {
            return i;
        }
        i = skipValue(text, i);
        if (i == npos)
            return found;
        i = skipJsonSpace(text, i);
        if (i >= text.size() || text[i] != u',')
            return found;
        ++i;
    }
}

} // namespace

std::optional<std::size_t> jsonValueOffset(std::u16string_view text, const std::vector<JSONPathStep> &steps)
{
    std::size_t at = skipJsonSpace(text, 0);
    if (at == text.size())
        return std::nullopt;
    for (const JSONPathStep &step : steps) {
        at = childStart(text, at, step);
        if (at == npos || at >= text.size())
            return std::nullopt;
    }
    return at;
}

} // namespace Formatting
