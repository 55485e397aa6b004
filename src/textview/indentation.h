#pragma once

#include "textview/textrange.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TextView {

class TextStorage;

// How a document indents: one level is a tab or `width` spaces. `width` is also how many
// columns a tab character spans on screen, whichever style is chosen.
struct IndentStyle {
    bool tabs = false;
    int width = 4;
    bool operator==(const IndentStyle &) const = default;
};

// What makes the next line one level deeper after Enter.
enum class BlockSyntax {
    None,     // the line's indentation is kept, nothing more
    Brackets, // a line ending in `{` or `[` (JSON, NDJSON, TOML arrays); `}` and `]` dedent
    Colon,    // a line ending in `:` (YAML), trailing comments ignored
    Tags,     // an XML start tag left open on the line
};

// One replacement, its range in the text as it was before any edit of its batch.
struct TextEdit {
    TextRange range;
    std::u16string replacement;
    bool operator==(const TextEdit &) const = default;
};

// Edits of several lines (ascending, never overlapping) and where the selection ends up after
// them.
struct LinesEdit {
    std::vector<TextEdit> edits;
    std::size_t anchor = 0;
    std::size_t caret = 0;
    bool operator==(const LinesEdit &) const = default;
};

// Lines looked at by detectIndentation(): enough to see a file's habit, cheap on any file.
inline constexpr std::size_t indentationDetectionLines = 5000;
inline constexpr std::size_t indentationDetectionUnits = 1 << 22;

// The indentation `text` uses, from its first indentationDetectionLines lines (and at most
// indentationDetectionUnits units): tabs when more
// lines start with a tab than with spaces (never with `spacesOnly`, for YAML), else spaces of the
// step by which consecutive lines deepen most often among 2, 4 and 8 (4 on a tie or when nothing
// is indented). Tabs come with width 4.
IndentStyle detectIndentation(std::u16string_view text, bool spacesOnly);

// Units of spaces and tabs at the start of `line`.
std::size_t leadingWhitespace(std::u16string_view line);
// The screen column after `text` (a line's start), tabs advancing to the next multiple of `tabWidth`.
std::size_t visualColumn(std::u16string_view text, int tabWidth);
// White space reaching `column` in `style`: tabs then spaces, or spaces only.
std::u16string whitespaceForColumn(std::size_t column, IndentStyle style);

// What Tab types at a caret in screen column `column`: a tab, or spaces up to the next stop.
std::u16string tabInsertion(std::size_t column, IndentStyle style);

// What Enter types in place of the selection. `before` is the caret line's text from its start to
// the selection, `after` the rest of the line after the selection. The new line keeps the line's
// indentation, one level more after a block opener; when `after` starts with the block's closer
// the closer goes to a line of its own below the caret's. Insert `text` in place of the selection
// and the `consumedAfter` units that follow it (white space moving onto the new line); the caret
// goes `caretOffset` units into `text`.
struct NewlineInsertion {
    std::u16string text;
    std::size_t caretOffset = 0;
    std::size_t consumedAfter = 0;
    bool operator==(const NewlineInsertion &) const = default;
};
NewlineInsertion newlineInsertion(std::u16string_view before, std::u16string_view after, IndentStyle style,
                                  BlockSyntax syntax);

// Typing `typed` where `before` (the line's text up to the caret) is white space only: for a
// closer of `syntax`, the text that replaces `before` (one level less, then the closer); none when
// the key types as usual.
std::optional<std::u16string> closerInsertion(std::u16string_view before, char16_t typed, IndentStyle style,
                                              BlockSyntax syntax);

// Backspace with the caret after `before` (the line's text up to the caret): in spaces style,
// when `before` is spaces only, how many to delete to reach the previous stop; none otherwise.
std::optional<std::size_t> backspaceToStop(std::u16string_view before, IndentStyle style);

// Whether the selection from `anchor` to `caret` touches more than one line (a selection ending at
// the start of a line does not touch that line).
bool selectionSpansLines(const TextStorage &text, std::size_t anchor, std::size_t caret);

// One level more (less) at the start of every line the selection touches, as one batch; the
// selection keeps covering the same text. Indenting leaves empty lines alone; outdenting removes a
// tab, or spaces back to the previous stop.
LinesEdit indentLines(const TextStorage &text, std::size_t anchor, std::size_t caret, IndentStyle style);
LinesEdit outdentLines(const TextStorage &text, std::size_t anchor, std::size_t caret, IndentStyle style);

// Rewrites the leading white space of every line from `from` to `to`, keeping each line's level
// (a level of `from` becomes a level of `to`; columns past the last whole level stay as spaces).
// Lines whose white space would not change get no edit.
std::vector<TextEdit> convertIndentation(const TextStorage &text, IndentStyle from, IndentStyle to);

// Where `position` goes once `edits` (ascending, as above) are applied: positions before an edit
// stay, after it they shift; a position inside a replaced range keeps its offset, clamped to
// the replacement.
std::size_t mapThroughEdits(const std::vector<TextEdit> &edits, std::size_t position);

} // namespace TextView
