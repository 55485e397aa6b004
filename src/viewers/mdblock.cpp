#include "mdblock.h"

#include "viewers/textutil_p.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <md4c.h>

#include <cstring>
#include <memory>

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

struct InlineBuilder {
    StyledText runs;
    int strong = 0;
    int emphasis = 0;
    int code = 0;
    int strikethrough = 0;
    std::vector<std::optional<std::u16string>> links;
    std::u16string scratch;

    void append(std::u16string_view text)
    {
        if (text.empty())
            return;
        InlineRun style;
        style.strong = strong > 0;
        style.emphasis = emphasis > 0;
        style.code = code > 0;
        style.strikethrough = strikethrough > 0;
        for (auto it = links.rbegin(); it != links.rend(); ++it) {
            if (*it) {
                style.link = *it;
                break;
            }
        }
        if (!runs.empty()) {
            InlineRun &last = runs.back();
            if (last.strong == style.strong && last.emphasis == style.emphasis && last.code == style.code
                && last.strikethrough == style.strikethrough && last.link == style.link) {
                last.text += text;
                return;
            }
        }
        style.text = text;
        runs.push_back(std::move(style));
    }
    void appendUtf8(std::string_view text)
    {
        scratch.clear();
        Internal::appendUtf16(text, scratch);
        append(scratch);
    }
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
    auto &builder = *static_cast<InlineBuilder *>(userdata);
    switch (type) {
    case MD_SPAN_EM: ++builder.emphasis; break;
    case MD_SPAN_STRONG: ++builder.strong; break;
    case MD_SPAN_CODE: ++builder.code; break;
    case MD_SPAN_DEL: ++builder.strikethrough; break;
    case MD_SPAN_A: {
        const auto *a = static_cast<const MD_SPAN_A_DETAIL *>(detail);
        std::u16string href = attributeText(a->href);
        // An e-mail autolink has no scheme in its target.
        if (href.find(u':') == std::u16string::npos && href.find(u'@') != std::u16string::npos)
            href.insert(0, u"mailto:");
        builder.links.emplace_back(std::move(href));
        break;
    }
    case MD_SPAN_IMG: builder.links.emplace_back(std::nullopt); break; // Shown as its alt text.
    default: break;
    }
    return 0;
}

int leaveSpan(MD_SPANTYPE type, void *, void *userdata)
{
    auto &builder = *static_cast<InlineBuilder *>(userdata);
    switch (type) {
    case MD_SPAN_EM: --builder.emphasis; break;
    case MD_SPAN_STRONG: --builder.strong; break;
    case MD_SPAN_CODE: --builder.code; break;
    case MD_SPAN_DEL: --builder.strikethrough; break;
    case MD_SPAN_A:
    case MD_SPAN_IMG:
        if (!builder.links.empty())
            builder.links.pop_back();
        break;
    default: break;
    }
    return 0;
}

int onText(MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE size, void *userdata)
{
    auto &builder = *static_cast<InlineBuilder *>(userdata);
    const std::string_view piece(text, size);
    switch (type) {
    case MD_TEXT_NULLCHAR: builder.append(u"\uFFFD"); break;
    case MD_TEXT_BR:
    case MD_TEXT_SOFTBR: builder.append(u" "); break;
    case MD_TEXT_ENTITY:
        builder.scratch.clear();
        appendEntity(piece, builder.scratch);
        builder.append(std::u16string(builder.scratch));
        break;
    default: builder.appendUtf8(piece); break;
    }
    return 0;
}

int onBlock(MD_BLOCKTYPE, void *, void *) { return 0; }

} // namespace

std::optional<StyledText> inlineAttributed(std::u16string_view text)
{
    // A line break would let md4c start a new block in the middle of the text.
    if (text.find_first_of(u"\r\n") != std::u16string_view::npos)
        return std::nullopt;
    // Text without any character that inline Markdown gives a meaning to is one plain run;
    // most prose lines take this path and skip the parser.
    if (text.find_first_of(std::u16string_view(u"\\`*_~[]!<&\0", 12)) == std::u16string_view::npos) {
        for (char16_t c : text) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                std::string probe;
                if (!Internal::appendUtf8(text, probe))
                    return std::nullopt;
                break;
            }
        }
        StyledText runs;
        if (!text.empty())
            runs.push_back(InlineRun{std::u16string(text), false, false, false, false, std::nullopt});
        return runs;
    }
    std::string utf8;
    if (!Internal::appendUtf8(text, utf8))
        return std::nullopt;

    // md4c drops the paragraph's outer blanks; they are kept as plain runs.
    const std::size_t coreBegin = std::min(utf8.find_first_not_of(" \t"), utf8.size());
    const std::size_t coreEnd = std::max(coreBegin, utf8.find_last_not_of(" \t") + 1);
    std::string core = utf8.substr(coreBegin, coreEnd - coreBegin);
    neutraliseBlockStart(core);

    InlineBuilder builder;
    builder.appendUtf8(std::string_view(utf8).substr(0, coreBegin));
    if (!core.empty()) {
        MD_PARSER parser{};
        parser.abi_version = 0;
        parser.flags = MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML | MD_FLAG_NOINDENTEDCODEBLOCKS;
        parser.enter_block = onBlock;
        parser.leave_block = onBlock;
        parser.enter_span = enterSpan;
        parser.leave_span = leaveSpan;
        parser.text = onText;
        if (md_parse(core.data(), MD_SIZE(core.size()), &parser, &builder) != 0)
            return std::nullopt;
    }
    builder.appendUtf8(std::string_view(utf8).substr(coreEnd));
    return std::move(builder.runs);
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

std::vector<MDBlock> MDBlock::parse(std::u16string_view text)
{
    std::vector<MDBlock> blocks;
    std::vector<std::u16string_view> paragraph;
    std::vector<std::u16string_view> code;
    bool inCode = false;

    auto append = [&](Kind blockKind, std::u16string blockText, bool styled, int headingLevel = 0) {
        MDBlock block;
        block.id = blocks.size();
        block.kind = blockKind;
        block.level = headingLevel;
        if (styled)
            block.attributed = inlineAttributed(blockText);
        block.content = std::move(blockText);
        blocks.push_back(std::move(block));
    };
    auto joined = [](const std::vector<std::u16string_view> &lines, char16_t separator) {
        std::size_t size = lines.empty() ? 0 : lines.size() - 1;
        for (const auto &line : lines)
            size += line.size();
        std::u16string out;
        out.reserve(size);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i)
                out.push_back(separator);
            out += lines[i];
        }
        return out;
    };
    auto flushPara = [&] {
        if (paragraph.empty())
            return;
        append(Kind::Paragraph, joined(paragraph, u' '), true);
        paragraph.clear();
    };

    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find(u'\n', start), text.size());
        const std::u16string_view line = text.substr(start, end - start);
        const std::u16string_view trimmedLine = Internal::trimmed(line);

        if (trimmedLine.starts_with(u"```")) {
            if (!inCode) {
                flushPara();
                inCode = true;
            } else {
                append(Kind::Code, joined(code, u'\n'), false);
                code.clear();
                inCode = false;
            }
        } else if (inCode) {
            code.push_back(line);
        } else if (trimmedLine.empty()) {
            flushPara();
            append(Kind::Blank, {}, false);
        } else if (trimmedLine == u"---" || trimmedLine == u"***" || trimmedLine == u"___") {
            flushPara();
            append(Kind::Rule, {}, false);
        } else if (auto heading = headingMatch(trimmedLine)) {
            flushPara();
            append(Kind::Heading, std::u16string(heading->second), true, heading->first);
        } else if (trimmedLine.starts_with(u"> ")) {
            flushPara();
            append(Kind::Quote, std::u16string(trimmedLine.substr(2)), true);
        } else if (trimmedLine.starts_with(u"- ") || trimmedLine.starts_with(u"* ") || trimmedLine.starts_with(u"+ ")) {
            flushPara();
            append(Kind::ListItem, std::u16string(trimmedLine.substr(2)), true);
        } else if (const std::size_t marker = orderedMarkerLength(trimmedLine)) {
            flushPara();
            append(Kind::ListItem, std::u16string(trimmedLine.substr(marker)), true);
        } else {
            paragraph.push_back(trimmedLine);
        }

        if (end == text.size())
            break;
        start = end + 1;
    }
    flushPara();
    if (inCode && !code.empty())
        append(Kind::Code, joined(code, u'\n'), false);
    return blocks;
}

} // namespace Viewers
