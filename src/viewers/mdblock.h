#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Viewers {

// One stretch of styled text with a single inline presentation.
struct InlineRun {
    std::u16string text;
    bool strong = false;
    bool emphasis = false;
    bool code = false;
    bool strikethrough = false;
    std::optional<std::u16string> link; // The target, when the run is (inside) a link.

    friend bool operator==(const InlineRun &, const InlineRun &) = default;
};

// Text with inline Markdown interpreted: runs in order, adjacent runs always differ in style.
using StyledText = std::vector<InlineRun>;

// One element of the Markdown preview.
struct MDBlock {
    enum class Kind { Heading, Paragraph, ListItem, Code, Quote, Rule, Blank };

    std::size_t id = 0; // Position in the list, from 0.
    Kind kind = Kind::Blank;
    int level = 0;      // 1–6 for a heading, 0 otherwise.
    std::u16string content;
    // For headings, paragraphs, list items and quotes, unless inline interpretation failed.
    std::optional<StyledText> attributed;

    friend bool operator==(const MDBlock &, const MDBlock &) = default;

    // Reads `text` (LF line breaks) line by line into blocks: fenced code (``` lines), blank
    // lines, rules ("---", "***", "___" exactly), ATX headings, "> " quotes, "- ", "* ", "+ "
    // and "1. " list items, and paragraphs of consecutive plain lines joined with one space.
    // Lines are trimmed before matching; code lines are kept as written. An unterminated fence
    // keeps its lines as a final code block. Never fails.
    static std::vector<MDBlock> parse(std::u16string_view text);
};

// "heading", "paragraph", "listItem", "code", "quote", "rule", "blank".
std::string_view kindName(MDBlock::Kind kind);

// For one trimmed line: 1–6 number signs, then one space, give (level, the text after that
// space, unchanged); anything else gives nothing.
std::optional<std::pair<int, std::u16string_view>> headingMatch(std::u16string_view line);

// `text` (one line) with inline Markdown interpreted: emphasis, strong emphasis, code spans,
// ~strikethrough~, links and autolinks. Block syntax at the start of the line (heading, quote,
// list and fence markers, rules, link definitions) is not interpreted and white space is
// preserved. Nothing when the text cannot be interpreted (an unpaired surrogate, a parser
// failure).
std::optional<StyledText> inlineAttributed(std::u16string_view text);

} // namespace Viewers
