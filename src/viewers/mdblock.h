#pragma once

#include "viewers/textmatch.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Viewers {

namespace Internal {
struct RunStore;
struct MDStore;
} // namespace Internal

// One stretch of styled text with a single inline presentation. The views point into the
// StyledText (or MDBlockList) it came from and live as long as that does.
struct InlineRun {
    std::u16string_view text;
    bool strong = false;
    bool emphasis = false;
    bool code = false;
    bool strikethrough = false;
    std::optional<std::u16string_view> link; // The target, when the run is (inside) a link.

    friend bool operator==(const InlineRun &, const InlineRun &) = default;
};

// Text with inline Markdown interpreted: runs in order, adjacent runs always differ in style.
// Compact (one text, eight bytes per run, link targets stored once per change), read through
// InlineRun values made on access.
class StyledText {
public:
    StyledText() = default;

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    InlineRun operator[](std::size_t index) const;

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = InlineRun;
        using difference_type = std::ptrdiff_t;
        Iterator(const StyledText *text, std::size_t index) : m_text(text), m_index(index) {}
        InlineRun operator*() const { return (*m_text)[m_index]; }
        Iterator &operator++()
        {
            ++m_index;
            return *this;
        }
        bool operator==(const Iterator &other) const { return m_index == other.m_index; }

    private:
        const StyledText *m_text;
        std::size_t m_index;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_count}; }

    // Run by run.
    friend bool operator==(const StyledText &a, const StyledText &b);

private:
    friend class MDBlockList;
    friend std::optional<StyledText> inlineAttributed(std::u16string_view text);
    StyledText(const Internal::RunStore *store, std::shared_ptr<const Internal::RunStore> owned, std::size_t first,
               std::size_t count)
        : m_store(store), m_owned(std::move(owned)), m_first(first), m_count(count) {}

    const Internal::RunStore *m_store = nullptr;
    std::shared_ptr<const Internal::RunStore> m_owned; // Set when the text owns its runs.
    std::size_t m_first = 0;
    std::size_t m_count = 0;
};

class MDBlockList;

// One element of the Markdown preview, as read from an MDBlockList: `content` and `attributed`
// are views into the list and live as long as it (or a copy of it) does.
struct MDBlock {
    enum class Kind : std::uint8_t { Heading, Paragraph, ListItem, Code, Quote, Rule, Blank };

    std::size_t id = 0; // Position in the list, from 0.
    Kind kind = Kind::Blank;
    int level = 0;      // 1–6 for a heading, 0 otherwise.
    std::u16string_view content;
    // For headings, paragraphs, list items and quotes, unless inline interpretation failed.
    std::optional<StyledText> attributed;

    friend bool operator==(const MDBlock &, const MDBlock &) = default;

    // Reads `text` (LF line breaks) line by line into blocks: fenced code (``` lines), blank
    // lines, rules ("---", "***", "___" exactly), ATX headings, "> " quotes, "- ", "* ", "+ "
    // and "1. " list items, and paragraphs of consecutive plain lines joined with one space.
    // Lines are trimmed before matching; code lines are kept as written. An unterminated fence
    // keeps its lines as a final code block. Never fails. Time is linear in the text's length
    // whatever it holds, and the list keeps about nine bytes per block (seventeen for a block
    // of several source lines) plus two per character of content and of styled text and eight
    // per run. Text beyond maximumTextLength units is not read.
    static MDBlockList parse(std::u16string_view text);

    // 2^30 UTF-16 units: twenty times what the editor opens; offsets inside a list are 32-bit.
    static constexpr std::size_t maximumTextLength = std::size_t(1) << 30;
};

// The blocks of one parse, in order, stored compactly and shared between copies (a copy is as
// cheap as a pointer); MDBlock values are made on access.
class MDBlockList {
public:
    MDBlockList() = default;

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    MDBlock operator[](std::size_t index) const;
    // Parts of block `index` without making the whole block.
    MDBlock::Kind kind(std::size_t index) const;
    int level(std::size_t index) const;
    std::u16string_view content(std::size_t index) const;
    // The text a preview shows for block `index`: its styled runs one after another, or its
    // content as written for code and for a block whose inline interpretation failed; nothing
    // for rules and blank lines. Offsets into it are offsets into the block's laid-out text.
    std::u16string shownText(std::size_t index) const;

    // Source lines. Block `index` covers the 0-based lines [firstLine(index),
    // firstLine(index) + lineCount(index)) of the parsed text: a paragraph all its lines, a code
    // block both fence lines and everything between them (an unterminated one runs to the last
    // line), every other block its one line. Each block starts where the one before ends, so
    // every line belongs to exactly one block, except the last line when it is a fence that
    // opens nothing (an unterminated fence with no line after it). Each costs O(log m) in the
    // number m of blocks longer than one line.
    std::size_t firstLine(std::size_t index) const;
    std::size_t lineCount(std::size_t index) const;
    // One past the last line of the last block; 0 for an empty list.
    std::size_t endLine() const;
    // The block holding 0-based source `line`, the last one when the line lies past the last
    // block; 0 for an empty list. O(log m) as well.
    std::size_t blockAtLine(std::size_t line) const;

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = MDBlock;
        using difference_type = std::ptrdiff_t;
        Iterator(const MDBlockList *list, std::size_t index) : m_list(list), m_index(index) {}
        MDBlock operator*() const { return (*m_list)[m_index]; }
        Iterator &operator++()
        {
            ++m_index;
            return *this;
        }
        bool operator==(const Iterator &other) const { return m_index == other.m_index; }

    private:
        const MDBlockList *m_list;
        std::size_t m_index;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, size()}; }

    // Block by block.
    friend bool operator==(const MDBlockList &a, const MDBlockList &b);

private:
    friend struct MDBlock;
    explicit MDBlockList(std::shared_ptr<const Internal::MDStore> store) : m_store(std::move(store)) {}
    std::shared_ptr<const Internal::MDStore> m_store;
};

// ---- Block ↔ source line map -------------------------------------------------------------------
// Keeps a source pane and a preview of the same parse showing the same place. Positions in the
// source are in lines as real numbers: the integer part a 0-based line, the rest how far down
// into it. Positions in the preview are a block and how far down into it, from 0 (its top) to
// 1 (its bottom). Within a block the two move in proportion, so scrolling either side moves the
// other smoothly; every lookup costs O(log n) in the number of blocks.

struct BlockPosition {
    std::size_t block = 0;
    double fraction = 0; // In [0, 1].

    friend bool operator==(const BlockPosition &, const BlockPosition &) = default;
};

// The block showing source position `line` (clamped to the lines the blocks cover); nothing for
// an empty list.
std::optional<BlockPosition> blockForSourceLine(const MDBlockList &blocks, double line);
// The source position shown at `position` (block clamped to the list, fraction to [0, 1]); 0 for
// an empty list. The inverse of blockForSourceLine on the covered lines.
double sourceLineForBlock(const MDBlockList &blocks, BlockPosition position);

// ---- Find -------------------------------------------------------------------------------------

// An occurrence of a needle in a block's shown text, as long as the needle.
struct MDTextMatch {
    std::uint32_t block = 0;
    std::uint32_t offset = 0; // Into MDBlockList::shownText(block).

    friend bool operator==(const MDTextMatch &, const MDTextMatch &) = default;
    friend auto operator<=>(const MDTextMatch &, const MDTextMatch &) = default;
};

// Every occurrence of `matcher`'s needle in the shown text of the blocks, block by block and
// left to right within a block, never overlapping. Markup the preview does not show (emphasis
// marks, link targets, heading and list markers) is not searched; an occurrence never spans two
// blocks. An empty needle finds nothing. Linear in the blocks' text.
std::vector<MDTextMatch> findText(const MDBlockList &blocks, const TextMatcher &matcher);

// "heading", "paragraph", "listItem", "code", "quote", "rule", "blank".
std::string_view kindName(MDBlock::Kind kind);

// For one trimmed line: 1–6 number signs, then one space, give (level, the text after that
// space, unchanged); anything else gives nothing.
std::optional<std::pair<int, std::u16string_view>> headingMatch(std::u16string_view line);

// `text` (one line) with inline Markdown interpreted: emphasis, strong emphasis, code spans,
// ~strikethrough~, links and autolinks. Block syntax at the start of the line (heading, quote,
// list and fence markers, rules, link definitions) is not interpreted and white space is
// preserved. Nothing when the text cannot be interpreted (an unpaired surrogate, a line break,
// a parser failure). The parser sees the text in pieces of at most inlinePieceLength units, cut
// after a blank where there is one: an inline construct in a longer line does not reach across
// a cut. The result owns its storage.
std::optional<StyledText> inlineAttributed(std::u16string_view text);

// Bounds md4c's time and memory per call whatever the line holds.
inline constexpr std::size_t inlinePieceLength = 32 * 1024;

} // namespace Viewers
