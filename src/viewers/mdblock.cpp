#include "mdblock.h"

#include "viewers/textutil_p.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <md4c.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Viewers {

std::string_view kindName(MDBlock::Kind kind)
{
    switch (kind) {
    case MDBlock::Kind::Heading: return "heading";
    case MDBlock::Kind::Paragraph: return "paragraph";
    case MDBlock::Kind::ListItem: return "listItem";
    case MDBlock::Kind::Code: return "code";
    case MDBlock::Kind::Quote: return "quote";
    case MDBlock::Kind::Rule: return "rule";
    case MDBlock::Kind::Blank: return "blank";
    }
    return "blank";
}

// ---- Storage ----------------------------------------------------------------------------------

namespace Internal {

// A growable array in fixed chunks: growing never copies, and at most one chunk is unused.
template<typename T>
class ChunkedArray {
public:
    std::size_t size() const { return m_size; }
    const T &operator[](std::size_t index) const { return m_chunks[index >> shift][index & mask]; }
    T &operator[](std::size_t index) { return m_chunks[index >> shift][index & mask]; }
    T &back() { return (*this)[m_size - 1]; }
    void push_back(const T &value)
    {
        if ((m_size >> shift) == m_chunks.size())
            m_chunks.push_back(std::make_unique_for_overwrite<T[]>(chunkSize));
        m_chunks[m_size >> shift][m_size & mask] = value;
        ++m_size;
    }
    void truncate(std::size_t size)
    {
        m_size = std::min(size, m_size);
        m_chunks.resize((m_size + chunkSize - 1) >> shift);
    }

private:
    static constexpr std::size_t shift = 12;
    static constexpr std::size_t chunkSize = std::size_t(1) << shift;
    static constexpr std::size_t mask = chunkSize - 1;
    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
};

// A run's style: four flag bits, then the 1-based index of its link target (0: none).
constexpr std::uint32_t Strong = 1;
constexpr std::uint32_t Emphasis = 2;
constexpr std::uint32_t Code = 4;
constexpr std::uint32_t Strikethrough = 8;
constexpr unsigned linkShift = 4;
constexpr std::uint32_t flagMask = (1u << linkShift) - 1;

struct RunRecord {
    std::uint32_t end;   // One past the run's last unit in `text`; it starts where the one before ends.
    std::uint32_t style;
};

struct RunStore {
    std::u16string text;
    ChunkedArray<RunRecord> runs;
    std::u16string links;
    ChunkedArray<std::uint32_t> linkEnds; // Link k (1-based) ends at linkEnds[k - 1].

    std::u16string_view link(std::uint32_t k) const
    {
        const std::uint32_t begin = k > 1 ? linkEnds[k - 2] : 0;
        return std::u16string_view(links).substr(begin, linkEnds[k - 1] - begin);
    }
    InlineRun run(std::size_t index) const
    {
        const RunRecord &record = runs[index];
        const std::uint32_t begin = index > 0 ? runs[index - 1].end : 0;
        InlineRun run;
        run.text = std::u16string_view(text).substr(begin, record.end - begin);
        run.strong = (record.style & Strong) != 0;
        run.emphasis = (record.style & Emphasis) != 0;
        run.code = (record.style & Code) != 0;
        run.strikethrough = (record.style & Strikethrough) != 0;
        if (const std::uint32_t k = record.style >> linkShift)
            run.link = link(k);
        return run;
    }
};

// A block of more than one source line (a paragraph or code block), with the lines beyond the
// first of it and of every such block before it.
struct LineSpan {
    std::uint32_t block;
    std::uint32_t extraLinesThrough;
};

// Block k: content [contentEnds[k - 1], contentEnds[k]) and runs [runEnds[k - 1], runEnds[k]).
// Blocks follow each other in the text and most take one line, so only the longer ones are
// listed in `spans` (in block order): block k starts on line k plus the extra lines of the spans
// before it. A one-line block costs nothing, a longer one eight bytes.
struct MDStore {
    std::u16string content;
    ChunkedArray<std::uint32_t> contentEnds;
    ChunkedArray<std::uint32_t> runEnds;
    ChunkedArray<std::uint8_t> kinds; // Kind, level << 3, and 0x40 when the block has styled text.
    ChunkedArray<LineSpan> spans;
    RunStore runs;

    std::uint32_t extraThrough(std::size_t span) const { return spans[span].extraLinesThrough; }
    std::uint32_t extraBefore(std::size_t span) const { return span > 0 ? extraThrough(span - 1) : 0; }
    // The number of spans whose block is before `block`.
    std::size_t spansBefore(std::size_t block) const
    {
        std::size_t low = 0;
        std::size_t high = spans.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (spans[middle].block < block)
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }
};

constexpr std::uint8_t attributedBit = 0x40;

} // namespace Internal

namespace {

// ---- Ordered list marker ----------------------------------------------------------------------

// "^\d+\.\s+" with Unicode digits and white space, as the platform's expression engine reads
// \d and \s. Compiled once; a failed compilation (impossible for this fixed pattern) simply
// recognises no ordered items.
const pcre2_code *orderedListRegex()
{
    static const std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)> code{[] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        static constexpr char16_t pattern[] = u"^\\d+\\.\\s+";
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, PCRE2_UTF | PCRE2_UCP
                                 | PCRE2_NO_UTF_CHECK, &error, &offset, nullptr);
    }(), &pcre2_code_free};
    return code.get();
}

// The length of the ordered-list marker at the start of `line`, or 0.
std::size_t orderedMarkerLength(std::u16string_view line)
{
    // Cheap pre-check: the marker starts with a digit, and most lines do not.
    if (line.empty() || ((line[0] < u'0' || line[0] > u'9') && line[0] < 0x80))
        return 0;
    const pcre2_code *code = orderedListRegex();
    if (!code)
        return 0;
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> match{
        pcre2_match_data_create_from_pattern(code, nullptr), &pcre2_match_data_free};
    // Lines may hold unpaired surrogates, so the subject is checked (no PCRE2_NO_UTF_CHECK);
    // a check failure means no marker.
    const int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), 0, 0, match.get(),
                                   nullptr);
    if (result <= 0)
        return 0;
    return pcre2_get_ovector_pointer(match.get())[1];
}

// ---- Inline interpretation ------------------------------------------------------------------

bool isSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

bool consistsOf(std::string_view text, std::string_view characters)
{
    return text.find_first_not_of(characters) == std::string_view::npos;
}

// The core of a line (no leading white space) made safe from block syntax: md4c parses whole
// documents, so a marker that would open a heading, quote, list, rule, fence or link definition
// is escaped. Each escape is applied only where the character has no inline meaning in that
// position, so inline interpretation is unchanged.
void neutraliseBlockStart(std::string &core)
{
    if (core.empty())
        return;
    const char first = core[0];
    switch (first) {
    case '#': case '>': case '+': case '-': case '=':
        core.insert(0, 1, '\\');
        return;
    case '*':
        // A star before white space cannot open emphasis; a line of stars and blanks is a rule.
        if (core.size() == 1 || isSpaceOrTab(core[1]) || consistsOf(core, "* \t"))
            core.insert(0, 1, '\\');
        return;
    case '_':
        if (consistsOf(core, "_ \t"))
            core.insert(0, 1, '\\');
        return;
    case '`': {
        const std::size_t run = core.find_first_not_of('`');
        // A fence needs three backticks and none later on the line; such a run has no closing
        // code span either, so it stays literal.
        if ((run == std::string::npos || run >= 3)
            && (run == std::string::npos || core.find('`', run) == std::string::npos))
            core.insert(0, 1, '\\');
        return;
    }
    case '~':
        if (core.compare(0, 3, "~~~") == 0)
            core.insert(0, 1, '\\');
        return;
    case '[': {
        // "[label]:" starts a link reference definition, which would swallow the line.
        for (std::size_t i = 1; i < core.size(); ++i) {
            if (core[i] == '\\') {
                ++i;
            } else if (core[i] == ']') {
                if (i + 1 < core.size() && core[i + 1] == ':')
                    core.insert(0, 1, '\\');
                return;
            }
        }
        return;
    }
    default:
        break;
    }
    if (first >= '0' && first <= '9') {
        std::size_t i = 0;
        while (i < core.size() && i < 10 && core[i] >= '0' && core[i] <= '9')
            ++i;
        if (i <= 9 && i < core.size() && (core[i] == '.' || core[i] == ')')
            && (i + 1 == core.size() || isSpaceOrTab(core[i + 1])))
            core.insert(i, 1, '\\');
    }
}

std::optional<char32_t> namedEntity(std::string_view name)
{
    static constexpr struct {
        std::string_view name;
        char32_t scalar;
    } table[] = {
        {"amp", U'&'}, {"lt", U'<'}, {"gt", U'>'}, {"quot", U'"'}, {"apos", U'\''}, {"nbsp", 0xA0},
        {"copy", 0xA9}, {"reg", 0xAE}, {"trade", 0x2122}, {"hellip", 0x2026}, {"mdash", 0x2014},
        {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
        {"laquo", 0xAB}, {"raquo", 0xBB}, {"euro", 0x20AC}, {"middot", 0xB7}, {"deg", 0xB0},
        {"times", 0xD7}, {"divide", 0xF7}, {"para", 0xB6}, {"sect", 0xA7}, {"bull", 0x2022},
        {"larr", 0x2190}, {"rarr", 0x2192}, {"uarr", 0x2191}, {"darr", 0x2193}, {"shy", 0xAD},
    };
    for (const auto &entry : table) {
        if (entry.name == name)
            return entry.scalar;
    }
    return std::nullopt;
}

void appendScalar(std::u16string &out, char32_t scalar)
{
    if (scalar == 0 || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF))
        scalar = 0xFFFD;
    if (scalar >= 0x10000) {
        out.push_back(char16_t(0xD800 + ((scalar - 0x10000) >> 10)));
        out.push_back(char16_t(0xDC00 + ((scalar - 0x10000) & 0x3FF)));
    } else {
        out.push_back(char16_t(scalar));
    }
}

// "&name;", "&#123;" or "&#x1F;" as its character; an unknown name stays as written.
void appendEntity(std::string_view entity, std::u16string &out)
{
    if (entity.size() >= 3 && entity.front() == '&' && entity.back() == ';') {
        const std::string_view body = entity.substr(1, entity.size() - 2);
        if (!body.empty() && body[0] == '#') {
            const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
            char32_t value = 0;
            bool ok = body.size() > (hex ? 2u : 1u);
            for (std::size_t i = hex ? 2 : 1; i < body.size() && ok; ++i) {
                const char c = body[i];
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                ok = digit >= 0;
                value = std::min<char32_t>(0x110000, value * (hex ? 16 : 10) + char32_t(std::max(digit, 0)));
            }
            if (ok) {
                appendScalar(out, value);
                return;
            }
        } else if (auto scalar = namedEntity(body)) {
            appendScalar(out, *scalar);
            return;
        }
    }
    Internal::appendUtf16(entity, out);
}

// Writes the runs of one text into a store; a failed interpretation rolls them back.
class RunWriter {
public:
    explicit RunWriter(Internal::RunStore &store)
        : m_store(store), m_firstRun(store.runs.size()), m_textMark(store.text.size()),
          m_linkMark(store.linkEnds.size()), m_linkTextMark(store.links.size())
    {
    }

    std::size_t firstRun() const { return m_firstRun; }
    std::size_t runCount() const { return m_store.runs.size() - m_firstRun; }
    void rollBack()
    {
        m_store.runs.truncate(m_firstRun);
        m_store.text.resize(m_textMark);
        m_store.linkEnds.truncate(m_linkMark);
        m_store.links.resize(m_linkTextMark);
    }

    // md4c's open spans.
    int strong = 0;
    int emphasis = 0;
    int code = 0;
    int strikethrough = 0;
    std::vector<std::uint32_t> links; // Link indices, 0 for an image (shown as its alt text).
    std::u16string scratch;

    void resetSpans()
    {
        strong = emphasis = code = strikethrough = 0;
        links.clear();
    }
    std::uint32_t style() const
    {
        std::uint32_t bits = (strong > 0 ? Internal::Strong : 0u) | (emphasis > 0 ? Internal::Emphasis : 0u)
                             | (code > 0 ? Internal::Code : 0u) | (strikethrough > 0 ? Internal::Strikethrough : 0u);
        for (auto it = links.rbegin(); it != links.rend(); ++it) {
            if (*it) {
                bits |= *it << Internal::linkShift;
                break;
            }
        }
        return bits;
    }

    void append(std::u16string_view text, std::uint32_t style)
    {
        const std::size_t before = m_store.text.size();
        m_store.text.append(text);
        commit(before, style);
    }
    void append(std::u16string_view text) { append(text, style()); }
    void appendUtf8(std::string_view utf8)
    {
        const std::size_t before = m_store.text.size();
        Internal::appendUtf16(utf8, m_store.text);
        commit(before, style());
    }

    // The index of `href` as a link target; a target equal to the last one stored is shared.
    std::uint32_t link(std::u16string_view href)
    {
        const std::size_t count = m_store.linkEnds.size();
        if (count > 0 && m_store.link(std::uint32_t(count)) == href)
            return std::uint32_t(count);
        m_store.links.append(href);
        m_store.linkEnds.push_back(std::uint32_t(m_store.links.size()));
        return std::uint32_t(count + 1);
    }

private:
    bool sameStyle(std::uint32_t a, std::uint32_t b) const
    {
        if (a == b)
            return true;
        const std::uint32_t linkA = a >> Internal::linkShift;
        const std::uint32_t linkB = b >> Internal::linkShift;
        return (a & Internal::flagMask) == (b & Internal::flagMask) && linkA && linkB
               && m_store.link(linkA) == m_store.link(linkB);
    }
    // Text [before, end) was just appended: extend the last run or start one.
    void commit(std::size_t before, std::uint32_t style)
    {
        const std::size_t end = m_store.text.size();
        if (end == before)
            return;
        if (runCount() > 0 && sameStyle(m_store.runs.back().style, style)) {
            m_store.runs.back().end = std::uint32_t(end);
            return;
        }
        m_store.runs.push_back({std::uint32_t(end), style});
    }

    Internal::RunStore &m_store;
    std::size_t m_firstRun;
    std::size_t m_textMark;
    std::size_t m_linkMark;
    std::size_t m_linkTextMark;
};

std::u16string attributeText(const MD_ATTRIBUTE &attribute)
{
    std::u16string out;
    if (!attribute.text)
        return out;
    for (unsigned i = 0; attribute.substr_offsets[i] < attribute.size; ++i) {
        const std::string_view piece(attribute.text + attribute.substr_offsets[i],
                                     attribute.substr_offsets[i + 1] - attribute.substr_offsets[i]);
        switch (attribute.substr_types[i]) {
        case MD_TEXT_ENTITY: appendEntity(piece, out); break;
        case MD_TEXT_NULLCHAR: out.push_back(u'\uFFFD'); break;
        default: Internal::appendUtf16(piece, out); break;
        }
    }
    return out;
}

int enterSpan(MD_SPANTYPE type, void *detail, void *userdata)
{
    auto &writer = *static_cast<RunWriter *>(userdata);
    switch (type) {
    case MD_SPAN_EM: ++writer.emphasis; break;
    case MD_SPAN_STRONG: ++writer.strong; break;
    case MD_SPAN_CODE: ++writer.code; break;
    case MD_SPAN_DEL: ++writer.strikethrough; break;
    case MD_SPAN_A: {
        const auto *a = static_cast<const MD_SPAN_A_DETAIL *>(detail);
        std::u16string href = attributeText(a->href);
        // An e-mail autolink has no scheme in its target.
        if (href.find(u':') == std::u16string::npos && href.find(u'@') != std::u16string::npos)
            href.insert(0, u"mailto:");
        writer.links.push_back(writer.link(href));
        break;
    }
    case MD_SPAN_IMG: writer.links.push_back(0); break;
    default: break;
    }
    return 0;
}

int leaveSpan(MD_SPANTYPE type, void *, void *userdata)
{
    auto &writer = *static_cast<RunWriter *>(userdata);
    switch (type) {
    case MD_SPAN_EM: --writer.emphasis; break;
    case MD_SPAN_STRONG: --writer.strong; break;
    case MD_SPAN_CODE: --writer.code; break;
    case MD_SPAN_DEL: --writer.strikethrough; break;
    case MD_SPAN_A:
    case MD_SPAN_IMG:
        if (!writer.links.empty())
            writer.links.pop_back();
        break;
    default: break;
    }
    return 0;
}

int onText(MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE size, void *userdata)
{
    auto &writer = *static_cast<RunWriter *>(userdata);
    const std::string_view piece(text, size);
    switch (type) {
    case MD_TEXT_NULLCHAR: writer.append(u"\uFFFD"); break;
    case MD_TEXT_BR:
    case MD_TEXT_SOFTBR: writer.append(u" "); break;
    case MD_TEXT_ENTITY:
        writer.scratch.clear();
        appendEntity(piece, writer.scratch);
        writer.append(writer.scratch);
        break;
    default: writer.appendUtf8(piece); break;
    }
    return 0;
}

int onBlock(MD_BLOCKTYPE, void *, void *) { return 0; }

// Characters that give inline Markdown a meaning; text without any is one plain run.
constexpr std::u16string_view markupCharacters(u"\\`*_~[]!<&\0", 11);

bool hasUnpairedSurrogate(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c > 0xDBFF || i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
            return true;
        ++i;
    }
    return false;
}

// Where the piece that starts at `start` ends: at most inlinePieceLength units on, just after
// the last blank in the second half of that window, or else not inside a surrogate pair or
// right after a backslash (which escapes what follows it).
std::size_t pieceEnd(std::u16string_view text, std::size_t start)
{
    if (text.size() - start <= inlinePieceLength)
        return text.size();
    const std::size_t limit = start + inlinePieceLength;
    for (std::size_t k = limit; k > start + inlinePieceLength / 2; --k) {
        if (text[k - 1] == u' ' || text[k - 1] == u'\t')
            return k;
    }
    std::size_t cut = limit;
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
        --cut;
    if (text[cut - 1] == u'\\')
        --cut;
    return cut;
}

// One piece, surrogates already known to be paired.
bool interpretPiece(std::u16string_view piece, RunWriter &writer)
{
    if (piece.find_first_of(markupCharacters) == std::u16string_view::npos) {
        writer.append(piece, 0);
        return true;
    }
    std::string utf8;
    if (!Internal::appendUtf8(piece, utf8))
        return false;
    // md4c drops the paragraph's outer blanks; they are kept as plain runs.
    const std::size_t coreBegin = std::min(utf8.find_first_not_of(" \t"), utf8.size());
    const std::size_t coreEnd = std::max(coreBegin, utf8.find_last_not_of(" \t") + 1);
    std::string core = utf8.substr(coreBegin, coreEnd - coreBegin);
    neutraliseBlockStart(core);

    writer.resetSpans();
    writer.appendUtf8(std::string_view(utf8).substr(0, coreBegin));
    if (!core.empty()) {
        MD_PARSER parser{};
        parser.abi_version = 0;
        parser.flags = MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML | MD_FLAG_NOINDENTEDCODEBLOCKS;
        parser.enter_block = onBlock;
        parser.leave_block = onBlock;
        parser.enter_span = enterSpan;
        parser.leave_span = leaveSpan;
        parser.text = onText;
        if (md_parse(core.data(), MD_SIZE(core.size()), &parser, &writer) != 0)
            return false;
    }
    writer.resetSpans();
    writer.appendUtf8(std::string_view(utf8).substr(coreEnd));
    return true;
}

// Inline interpretation of one line into `writer`; false when it cannot be interpreted.
bool interpret(std::u16string_view text, RunWriter &writer)
{
    // A line break would let md4c start a new block in the middle of the text.
    if (text.find_first_of(u"\r\n") != std::u16string_view::npos || hasUnpairedSurrogate(text))
        return false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = pieceEnd(text, start);
        if (!interpretPiece(text.substr(start, end - start), writer))
            return false;
        start = end;
    }
    return true;
}

} // namespace

// ---- Styled text and block lists ---------------------------------------------------------------

InlineRun StyledText::operator[](std::size_t index) const
{
    return m_store->run(m_first + index);
}

bool operator==(const StyledText &a, const StyledText &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!(a[i] == b[i]))
            return false;
    }
    return true;
}

std::optional<StyledText> inlineAttributed(std::u16string_view text)
{
    if (text.size() > MDBlock::maximumTextLength)
        return std::nullopt;
    auto store = std::make_shared<Internal::RunStore>();
    RunWriter writer(*store);
    if (!interpret(text, writer))
        return std::nullopt;
    const Internal::RunStore *raw = store.get();
    const std::size_t count = raw->runs.size();
    return StyledText(raw, std::move(store), 0, count);
}

std::size_t MDBlockList::size() const
{
    return m_store ? m_store->kinds.size() : 0;
}

MDBlock::Kind MDBlockList::kind(std::size_t index) const
{
    return MDBlock::Kind(m_store->kinds[index] & 0x07);
}

int MDBlockList::level(std::size_t index) const
{
    return (m_store->kinds[index] >> 3) & 0x07;
}

std::u16string_view MDBlockList::content(std::size_t index) const
{
    const std::uint32_t begin = index > 0 ? m_store->contentEnds[index - 1] : 0;
    return std::u16string_view(m_store->content).substr(begin, m_store->contentEnds[index] - begin);
}

std::size_t MDBlockList::firstLine(std::size_t index) const
{
    const std::size_t before = m_store->spansBefore(index);
    return index + m_store->extraBefore(before);
}

std::size_t MDBlockList::lineCount(std::size_t index) const
{
    const std::size_t span = m_store->spansBefore(index);
    if (span < m_store->spans.size() && m_store->spans[span].block == index)
        return 1 + m_store->extraThrough(span) - m_store->extraBefore(span);
    return 1;
}

std::size_t MDBlockList::endLine() const
{
    return empty() ? 0 : firstLine(size() - 1) + lineCount(size() - 1);
}

std::size_t MDBlockList::blockAtLine(std::size_t line) const
{
    if (empty())
        return 0;
    const Internal::MDStore &s = *m_store;
    // The number of spans that start at or before `line`; span j starts on line
    // block_j + extraBefore(j), which grows with j.
    std::size_t low = 0;
    std::size_t high = s.spans.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (s.spans[middle].block + std::size_t(s.extraBefore(middle)) <= line)
            low = middle + 1;
        else
            high = middle;
    }
    std::size_t block = line;
    if (low > 0) {
        const std::size_t span = low - 1;
        // Inside that span's block, or in the one-line blocks after it.
        const std::size_t spanEnd = s.spans[span].block + std::size_t(s.extraThrough(span));
        block = line <= spanEnd ? s.spans[span].block : line - s.extraThrough(span);
    }
    return std::min(block, size() - 1);
}

std::optional<BlockPosition> blockForSourceLine(const MDBlockList &blocks, double line)
{
    if (blocks.empty())
        return std::nullopt;
    const double first = double(blocks.firstLine(0));
    const double end = double(blocks.endLine());
    // NaN compares false everywhere: it lands at the top.
    line = line > first ? std::min(line, end) : first;
    const std::size_t index = blocks.blockAtLine(std::size_t(line));
    const double start = double(blocks.firstLine(index));
    const double count = double(blocks.lineCount(index));
    return BlockPosition{index, std::clamp((line - start) / count, 0.0, 1.0)};
}

double sourceLineForBlock(const MDBlockList &blocks, BlockPosition position)
{
    if (blocks.empty())
        return 0;
    const std::size_t index = std::min(position.block, blocks.size() - 1);
    const double fraction = position.fraction > 0 ? std::min(position.fraction, 1.0) : 0.0;
    return double(blocks.firstLine(index)) + fraction * double(blocks.lineCount(index));
}

MDBlock MDBlockList::operator[](std::size_t index) const
{
    MDBlock block;
    block.id = index;
    block.kind = kind(index);
    block.level = level(index);
    block.content = content(index);
    if (m_store->kinds[index] & Internal::attributedBit) {
        const std::uint32_t first = index > 0 ? m_store->runEnds[index - 1] : 0;
        block.attributed = StyledText(&m_store->runs, nullptr, first, m_store->runEnds[index] - first);
    }
    return block;
}

namespace {

// The shown text of block `index`: a view of its content, or the runs joined into `scratch`.
std::u16string_view shownTextOf(const MDBlockList &blocks, std::size_t index, std::u16string &scratch)
{
    const MDBlock::Kind kind = blocks.kind(index);
    if (kind == MDBlock::Kind::Rule || kind == MDBlock::Kind::Blank)
        return {};
    const MDBlock block = blocks[index];
    if (!block.attributed || kind == MDBlock::Kind::Code)
        return block.content;
    scratch.clear();
    for (const InlineRun run : *block.attributed)
        scratch += run.text;
    return scratch;
}

} // namespace

std::u16string MDBlockList::shownText(std::size_t index) const
{
    std::u16string scratch;
    return std::u16string(shownTextOf(*this, index, scratch));
}

std::vector<MDTextMatch> findText(const MDBlockList &blocks, const TextMatcher &matcher)
{
    std::vector<MDTextMatch> found;
    if (matcher.isEmpty())
        return found;
    std::u16string scratch;
    for (std::size_t index = 0; index < blocks.size(); ++index) {
        matcher.forEach(shownTextOf(blocks, index, scratch), [&](std::size_t offset) {
            found.push_back({std::uint32_t(index), std::uint32_t(offset)});
        });
    }
    return found;
}

bool operator==(const MDBlockList &a, const MDBlockList &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!(a[i] == b[i]))
            return false;
    }
    return true;
}

// ---- Block parsing ---------------------------------------------------------------------------

std::optional<std::pair<int, std::u16string_view>> headingMatch(std::u16string_view line)
{
    std::size_t count = 0;
    while (count < line.size() && line[count] == u'#')
        ++count;
    if (count == 0 || count > 6 || count >= line.size() || line[count] != u' ')
        return std::nullopt;
    return std::pair<int, std::u16string_view>{int(count), line.substr(count + 1)};
}

MDBlockList MDBlock::parse(std::u16string_view text)
{
    text = text.substr(0, std::min(text.size(), maximumTextLength));
    auto store = std::make_shared<Internal::MDStore>();
    Internal::MDStore &s = *store;
    // Neither pool outgrows the text; reserving once spares copies on growth, and pages that
    // are never written cost nothing.
    s.content.reserve(text.size());
    s.runs.text.reserve(text.size());

    // Block contents are written straight into the pool: a paragraph or code block grows
    // line by line and is finished when it ends, knowing how many source lines it took.
    // Whether a block's text is read for inline styles (code never is).
    enum class Inline { Styled, Plain };
    auto finish = [&](Kind kind, int level, std::size_t contentBegin, Inline inlines, std::uint32_t lines) {
        bool attributed = false;
        if (inlines == Inline::Styled) {
            RunWriter writer(s.runs);
            attributed = interpret(std::u16string_view(s.content).substr(contentBegin), writer);
            if (!attributed)
                writer.rollBack();
        }
        s.contentEnds.push_back(std::uint32_t(s.content.size()));
        s.runEnds.push_back(std::uint32_t(s.runs.runs.size()));
        if (lines > 1) {
            const std::uint32_t before = s.spans.size() > 0 ? s.spans.back().extraLinesThrough : 0;
            s.spans.push_back({std::uint32_t(s.kinds.size()), before + lines - 1});
        }
        s.kinds.push_back(std::uint8_t(std::uint8_t(kind) | std::uint8_t(level << 3) | (attributed ? Internal::attributedBit : 0)));
    };
    auto single = [&](Kind kind, std::u16string_view blockText, Inline inlines, int level = 0) {
        const std::size_t begin = s.content.size();
        s.content.append(blockText);
        finish(kind, level, begin, inlines, 1);
    };
    bool inParagraph = false;
    std::size_t paragraphBegin = 0;
    std::uint32_t paragraphLines = 0;
    auto flushPara = [&] {
        if (!inParagraph)
            return;
        finish(Kind::Paragraph, 0, paragraphBegin, Inline::Styled, paragraphLines);
        inParagraph = false;
    };
    bool inCode = false;
    std::size_t codeBegin = 0;
    std::size_t codeLines = 0;

    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find(u'\n', start), text.size());
        const std::u16string_view line = text.substr(start, end - start);
        const std::u16string_view trimmedLine = Internal::trimmed(line);

        if (trimmedLine.starts_with(u"```")) {
            if (!inCode) {
                flushPara();
                inCode = true;
                codeBegin = s.content.size();
                codeLines = 0;
            } else {
                // Both fence lines belong to the block.
                finish(Kind::Code, 0, codeBegin, Inline::Plain, std::uint32_t(codeLines + 2));
                inCode = false;
            }
        } else if (inCode) {
            if (codeLines++ > 0)
                s.content.push_back(u'\n');
            s.content.append(line);
        } else if (trimmedLine.empty()) {
            flushPara();
            single(Kind::Blank, {}, Inline::Plain);
        } else if (trimmedLine == u"---" || trimmedLine == u"***" || trimmedLine == u"___") {
            flushPara();
            single(Kind::Rule, {}, Inline::Plain);
        } else if (auto heading = headingMatch(trimmedLine)) {
            flushPara();
            single(Kind::Heading, heading->second, Inline::Styled, heading->first);
        } else if (trimmedLine.starts_with(u"> ")) {
            flushPara();
            single(Kind::Quote, trimmedLine.substr(2), Inline::Styled);
        } else if (trimmedLine.starts_with(u"- ") || trimmedLine.starts_with(u"* ") || trimmedLine.starts_with(u"+ ")) {
            flushPara();
            single(Kind::ListItem, trimmedLine.substr(2), Inline::Styled);
        } else if (const std::size_t marker = orderedMarkerLength(trimmedLine)) {
            flushPara();
            single(Kind::ListItem, trimmedLine.substr(marker), Inline::Styled);
        } else {
            if (!inParagraph) {
                inParagraph = true;
                paragraphBegin = s.content.size();
                paragraphLines = 0;
            } else {
                s.content.push_back(u' ');
            }
            ++paragraphLines;
            s.content.append(trimmedLine);
        }

        if (end == text.size())
            break;
        start = end + 1;
    }
    flushPara();
    // An unterminated fence runs to the last line; one with no line after it makes no block.
    if (inCode && codeLines > 0)
        finish(Kind::Code, 0, codeBegin, Inline::Plain, std::uint32_t(codeLines + 1));
    return MDBlockList(std::move(store));
}

} // namespace Viewers
