#pragma once

#include "highlighting/syntaxclass.h"

#include "documents/dockind.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Colouring of a document's text by its kind. Stateless routines with hand-written character
// tests over UTF-16 code units (ASCII tests only: any other unit is an ordinary non-word,
// non-digit character). They never change the text, never fail and accept any input.
//
// Output: one SyntaxClass byte per UTF-16 unit in a buffer the caller owns, index i describing
// text[i]. A routine overwrites the bytes of the ranges it colours, so a later colouring of a
// range replaces an earlier one; bytes it does not colour are left as they are. Views keep the
// bytes beside the text and compare a fresh buffer with the old one to find what changed.
//
// Lines end at a line feed only; a carriage return is an ordinary character. Blanks are space
// and tab; word characters are ASCII letters, digits and "_".
namespace Highlighting::SyntaxHighlighter {

// Texts longer than this many UTF-16 units are left uncoloured; exactly this many are coloured.
inline constexpr std::size_t maximumLength = 2'000'000;

// The frame the editor runs: sets classes[0, text.size()) to Base, then, unless the kind is CSV
// or TXT or the text is longer than maximumLength, runs the kind's routine (JSON and NDJSON:
// highlightJSON; YAML and LOG: their line routine once per line; TOML, XML, Markdown: theirs).
// Returns true when a routine ran. When `classes` is shorter than the text nothing is written
// and the result is false.
bool highlight(Documents::DocKind kind, std::u16string_view text, std::span<std::uint8_t> classes);

// The per-kind routines below colour on top of what `classes` already holds. Each requires
// classes.size() >= text.size() and writes nothing otherwise. Line bounds must satisfy
// lineStart <= lineEnd <= text.size() (a line end is a line feed's position or the text end);
// out-of-range bounds write nothing.
void highlightJSON(std::u16string_view text, std::span<std::uint8_t> classes);
void highlightTOML(std::u16string_view text, std::span<std::uint8_t> classes);
void highlightYAMLLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd,
                       std::span<std::uint8_t> classes);
void highlightXML(std::u16string_view text, std::span<std::uint8_t> classes);
void highlightMarkdown(std::u16string_view text, std::span<std::uint8_t> classes);
void highlightLogLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd,
                      std::span<std::uint8_t> classes);

// ---- Shared helpers --------------------------------------------------------------------------

// End of a number literal starting at `start` (optional sign, digits, optional "." and digits,
// optional exponent "e"/"E" with optional sign and digits), or `start` when no digit is part of
// it. A lone "." after the digits and an "e" (with its sign) without digits stay in the literal:
// "7." and "1e" are literals, "-" and "." are not. The scan never reads at or past `limit`
// (clamped to the text length).
std::size_t scanNumber(std::u16string_view text, std::size_t start, std::size_t limit = std::u16string_view::npos);

// True when `text` is not empty and either is consumed completely by the C-locale strtod
// grammar (optional sign; decimal digits with optional fraction and exponent; hexadecimal
// floating literals; "inf", "infinity", "nan" and "nan(chars)" in any letter case; no white
// space), or begins with "0x" or "0X" (anything may follow the prefix).
bool isNumericString(std::u16string_view text);

struct Range {
    std::size_t start = 0;
    std::size_t length = 0;
    friend constexpr bool operator==(const Range &, const Range &) = default;
};

// [start, end) with blanks (space, tab) stripped from both ends; nothing when only blanks remain.
std::optional<Range> trimmedRange(std::u16string_view text, std::size_t start, std::size_t end);

// True when, after leading blanks, the line [lineStart, lineEnd) holds at least three units and
// they begin with three backquotes or three tildes.
bool isFenceLine(std::u16string_view text, std::size_t lineStart, std::size_t lineEnd);

} // namespace Highlighting::SyntaxHighlighter
