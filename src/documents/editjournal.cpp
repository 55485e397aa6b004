#include "editjournal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace Documents::EditJournal {

namespace {

constexpr char recordTag = 'R';
// Tag and length before a record's payload, its check after it.
constexpr std::size_t recordFrame = 1 + 4 + 4;
constexpr std::size_t recordFixedPayload = 8 + 8 + 8 + 4;

// Eight tables, so that eight bytes are folded in per step: a 100 MB base text is checked in
// tens of milliseconds on the writer thread, not hundreds.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (std::size_t t = 1; t < 8; ++t)
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFF];
    return tables;
}

void put32(std::string &out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((value >> (8 * i)) & 0xFF));
}

void put64(std::string &out, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char((value >> (8 * i)) & 0xFF));
}

void putString(std::string &out, std::string_view text)
{
    put32(out, std::uint32_t(text.size()));
    out.append(text);
}

// Reads little-endian fields from a byte range; any read past its end fails from then on.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    std::size_t offset() const { return m_offset; }
    std::size_t remaining() const { return m_bytes.size() - m_offset; }

    std::uint64_t number(int width)
    {
        if (!take(std::size_t(width)))
            return 0;
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= std::uint64_t(std::uint8_t(m_bytes[m_offset - std::size_t(width) + std::size_t(i)])) << (8 * i);
        return value;
    }
    std::string_view bytes(std::size_t count)
    {
        if (!take(count))
            return {};
        return m_bytes.substr(m_offset - count, count);
    }
    std::string string()
    {
        const std::size_t size = number(4);
        return std::string(bytes(size));
    }
    std::u16string units(std::size_t count)
    {
        if (count > remaining() / 2) {
            m_ok = false;
            return {};
        }
        const std::string_view raw = bytes(count * 2);
        std::u16string text(count, u'\0');
        for (std::size_t i = 0; i < count; ++i)
            text[i] = char16_t(std::uint8_t(raw[2 * i]) | (std::uint8_t(raw[2 * i + 1]) << 8));
        return text;
    }

private:
    bool take(std::size_t count)
    {
        if (!m_ok || count > remaining()) {
            m_ok = false;
            return false;
        }
        m_offset += count;
        return true;
    }

    std::string_view m_bytes;
    std::size_t m_offset = 0;
    bool m_ok = true;
};

std::string headerFields(const Header &header)
{
    std::string out;
    out.push_back(char((header.scratch ? 1 : 0) | (header.base ? 2 : 0) | (header.bom ? 4 : 0)));
    putString(out, header.path);
    putString(out, header.encoding);
    putString(out, header.lineEnding);
    put64(out, std::uint64_t(header.writtenAtMs));
    if (header.base) {
        const DiskVersion &base = *header.base;
        put64(out, base.identity.device);
        put64(out, base.identity.inode);
        put64(out, std::uint64_t(base.size));
        put64(out, std::uint64_t(base.mtime.seconds));
        put64(out, std::uint64_t(base.mtime.nanoseconds));
        put64(out, std::uint64_t(base.ctime.seconds));
        put64(out, std::uint64_t(base.ctime.nanoseconds));
        putString(out, base.target);
    }
    return out;
}

std::optional<Header> parseHeaderFields(std::string_view fields)
{
    Reader in(fields);
    Header header;
    const auto flags = std::uint8_t(in.number(1));
    header.scratch = flags & 1;
    header.bom = flags & 4;
    header.path = in.string();
    header.encoding = in.string();
    header.lineEnding = in.string();
    header.writtenAtMs = std::int64_t(in.number(8));
    if (flags & 2) {
        DiskVersion base;
        base.identity.device = in.number(8);
        base.identity.inode = in.number(8);
        base.size = std::int64_t(in.number(8));
        base.mtime.seconds = std::int64_t(in.number(8));
        base.mtime.nanoseconds = std::int64_t(in.number(8));
        base.ctime.seconds = std::int64_t(in.number(8));
        base.ctime.nanoseconds = std::int64_t(in.number(8));
        base.target = in.string();
        header.base = std::move(base);
    }
    if (!in.ok() || in.remaining() != 0 || (flags & ~7u) != 0)
        return std::nullopt;
    return header;
}

// A text being edited at one place after another: the gap follows the edits, so that typing
// costs the length of what is typed, not of the text.
class GapText {
public:
    explicit GapText(std::u16string &&text) : m_buffer(std::move(text)), m_gapStart(m_buffer.size()), m_gapEnd(m_buffer.size()) {}

    std::size_t length() const { return m_buffer.size() - (m_gapEnd - m_gapStart); }

    void replace(std::size_t position, std::size_t removed, std::u16string_view inserted)
    {
        moveGap(position);
        m_gapEnd += removed;
        if (inserted.size() > m_gapEnd - m_gapStart)
            grow(inserted.size());
        std::copy(inserted.begin(), inserted.end(), m_buffer.begin() + std::ptrdiff_t(m_gapStart));
        m_gapStart += inserted.size();
    }

    std::u16string take()
    {
        moveGap(length());
        m_buffer.resize(m_gapStart);
        return std::move(m_buffer);
    }

private:
    void moveGap(std::size_t position)
    {
        char16_t *data = m_buffer.data();
        if (position < m_gapStart) {
            const std::size_t count = m_gapStart - position;
            std::memmove(data + m_gapEnd - count, data + position, count * sizeof(char16_t));
            m_gapStart -= count;
            m_gapEnd -= count;
        } else if (position > m_gapStart) {
            const std::size_t count = position - m_gapStart;
            std::memmove(data + m_gapStart, data + m_gapEnd, count * sizeof(char16_t));
            m_gapStart += count;
            m_gapEnd += count;
        }
    }
    void grow(std::size_t needed)
    {
        const std::size_t tail = m_buffer.size() - m_gapEnd;
        const std::size_t extra = std::max(needed, std::max<std::size_t>(m_buffer.size() / 2, 4096));
        m_buffer.resize(m_buffer.size() + extra);
        char16_t *data = m_buffer.data();
        std::memmove(data + m_buffer.size() - tail, data + m_gapEnd, tail * sizeof(char16_t));
        m_gapEnd = m_buffer.size() - tail;
    }

    std::u16string m_buffer;
    std::size_t m_gapStart;
    std::size_t m_gapEnd;
};

} // namespace

std::uint32_t crc32(std::uint32_t crc, std::string_view bytes)
{
    static const CrcTables tables = makeCrcTables();
    crc = ~crc;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t size = bytes.size();
    while (size >= 8) {
        const std::uint32_t low = crc ^ (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8
                                         | std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
        crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF]
              ^ tables[4][low >> 24] ^ tables[3][data[4]] ^ tables[2][data[5]] ^ tables[1][data[6]]
              ^ tables[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = tables[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::size_t encodedSize(const Record &record)
{
    return recordFrame + recordFixedPayload + record.inserted.size() * 2;
}

std::string encodeHeader(const Header &header)
{
    const std::string fields = headerFields(header);
    std::string out(magic);
    put32(out, formatVersion);
    put32(out, std::uint32_t(fields.size()));
    out += fields;
    put32(out, crc32(0, fields));
    return out;
}

std::string encodeTextStart(std::uint64_t units)
{
    std::string out;
    put64(out, units);
    return out;
}

void appendUnits(std::string &out, std::u16string_view units)
{
    const std::size_t start = out.size();
    out.resize(start + units.size() * 2);
    char *to = out.data() + start;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(to, units.data(), units.size() * 2);
        return;
    }
    for (const char16_t unit : units) {
        *to++ = char(unit & 0xFF);
        *to++ = char(unit >> 8);
    }
}

std::string encodeTextEnd(std::uint32_t textCrc)
{
    std::string out;
    put32(out, textCrc);
    return out;
}

void appendRecord(std::string &out, const Record &record)
{
    const std::size_t start = out.size();
    out.push_back(recordTag);
    put32(out, std::uint32_t(recordFixedPayload + record.inserted.size() * 2));
    put64(out, std::uint64_t(record.timeMs));
    put64(out, record.position);
    put64(out, record.removed);
    put32(out, std::uint32_t(record.inserted.size()));
    appendUnits(out, record.inserted);
    put32(out, crc32(0, std::string_view(out).substr(start)));
}

std::string encode(const Header &header, std::u16string_view text, const std::vector<Record> &records)
{
    std::string out = encodeHeader(header) + encodeTextStart(text.size());
    const std::size_t textStart = out.size();
    appendUnits(out, text);
    out += encodeTextEnd(crc32(0, std::string_view(out).substr(textStart)));
    for (const Record &record : records)
        appendRecord(out, record);
    return out;
}

std::variant<Decoded, std::string> decode(std::string_view bytes)
{
    Reader in(bytes);
    if (in.bytes(magic.size()) != magic)
        return std::string("not a journal");
    const auto version = std::uint32_t(in.number(4));
    if (!in.ok())
        return std::string("damaged header");
    if (version != formatVersion)
        return std::string("unknown format version");
    const std::string_view fields = in.bytes(std::size_t(in.number(4)));
    const auto fieldsCrc = std::uint32_t(in.number(4));
    if (!in.ok() || crc32(0, fields) != fieldsCrc)
        return std::string("damaged header");
    auto header = parseHeaderFields(fields);
    if (!header)
        return std::string("damaged header");

    Decoded decoded;
    decoded.header = std::move(*header);
    const std::uint64_t units = in.number(8);
    if (!in.ok() || units > in.remaining() / 2)
        return std::string("damaged text");
    const std::size_t textStart = in.offset();
    decoded.text = in.units(std::size_t(units));
    const auto textCrc = std::uint32_t(in.number(4));
    if (!in.ok() || crc32(0, bytes.substr(textStart, std::size_t(units) * 2)) != textCrc)
        return std::string("damaged text");

    while (in.remaining() > 0) {
        const std::size_t start = in.offset();
        Reader record(bytes.substr(start));
        const auto tag = char(record.number(1));
        const auto length = std::size_t(record.number(4));
        if (!record.ok() || tag != recordTag || length < recordFixedPayload || length > record.remaining())
            break;
        const std::string_view payload = record.bytes(length);
        const auto check = std::uint32_t(record.number(4));
        if (!record.ok() || crc32(0, bytes.substr(start, 1 + 4 + length)) != check)
            break;
        Reader recordFields(payload);
        Record parsed;
        parsed.timeMs = std::int64_t(recordFields.number(8));
        parsed.position = recordFields.number(8);
        parsed.removed = recordFields.number(8);
        const auto count = std::size_t(recordFields.number(4));
        if (count * 2 != recordFields.remaining())
            break;
        parsed.inserted = recordFields.units(count);
        decoded.records.push_back(std::move(parsed));
        in.bytes(record.offset());
    }
    decoded.ignoredTailBytes = in.remaining();
    return decoded;
}

std::optional<std::string> replay(std::u16string &text, const std::vector<Record> &records)
{
    GapText gap(std::move(text));
    std::size_t index = 0;
    for (const Record &record : records) {
        ++index;
        const std::size_t length = gap.length();
        if (record.position > length || record.removed > length - record.position) {
            text = gap.take();
            return "edit " + std::to_string(index) + " lies outside the text";
        }
        gap.replace(std::size_t(record.position), std::size_t(record.removed), record.inserted);
    }
    text = gap.take();
    return std::nullopt;
}

std::variant<std::u16string, std::string> finalText(const Decoded &decoded)
{
    std::u16string text = decoded.text;
    if (auto error = replay(text, decoded.records))
        return *error;
    return text;
}

std::int64_t lastEditMs(const Decoded &decoded)
{
    return decoded.records.empty() ? decoded.header.writtenAtMs : decoded.records.back().timeMs;
}

std::size_t changedUnits(std::u16string_view before, std::u16string_view after)
{
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t start = 0;
    while (start < shorter && before[start] == after[start])
        ++start;
    std::size_t end = 0;
    while (end < shorter - start && before[before.size() - 1 - end] == after[after.size() - 1 - end])
        ++end;
    return std::max(before.size() - start - end, after.size() - start - end);
}

} // namespace Documents::EditJournal
