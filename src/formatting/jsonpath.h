#pragma once

#include "base/textsnapshot.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The JSONPath of the value at a caret position, for the status bar and "Copy JSON Path".
//
// The path is found by one forward scan that stops at the caret: the work is proportional to
// the offset, and the only memory kept is one small record per open container (nesting deeper
// than `maximumPathDepth` gives no path). Text past the caret is read only to finish the token
// the caret touches (a key, at most `lookaheadLimit` units). The scan tolerates any text: on
// invalid JSON it gives the best path the text up to the caret supports, and a string that
// runs past its line's end is taken to end there, so one missing quote does not spoil the rest.
//
// Paths start at "$". Keys that are plain names (ASCII letters, digits, "_" and any non-ASCII
// character that is visible and not white space, not starting with a digit) follow a dot,
// `$.items[3].name`; any other key is quoted,
// `$['a b']`, with "'" and "\" escaped by a backslash and control characters as JSON escapes
// them. Keys appear decoded: `"caf\u00e9"` is `$.café`. Array elements are 0-based.
//
// Where the caret sits between tokens (the caret is the position before the unit at `offset`):
// - inside a key or touching either of its quotes: that key;
// - inside a string, number or literal, or touching either end: that value;
// - after a key's colon, with or without white space: that key's value;
// - after a comma: the next element ($[n + 1]) or the member whose key follows;
// - after a value, up to its comma or closing bracket: still that value;
// - just before an opening bracket or just after a closing one: that container, as its parent's
//   member; just after an opening bracket, or anywhere in an empty container: the container;
// - after an opening bracket and white space: the first member or element;
// - before or after the top-level value, and anywhere in a top-level scalar: "$".
// An offset past the end counts as the end.
namespace Formatting {

// Path of the value at `offset` (UTF-16 units) in a JSON document; nullopt when the text holds
// nothing but white space.
std::optional<std::string> jsonPathAt(std::u16string_view text, std::size_t offset);

// The same for a snapshot, read in pieces; nullopt also when the snapshot was revoked meanwhile
// (`isRevoked()` tells the two apart).
std::optional<std::string> jsonPathAt(const Base::TextSnapshot &text, std::size_t offset);

// Path in an NDJSON document: `$[N]` followed by the path within the record on the caret's
// line, where N is the line's 0-based index among all lines (its line number minus 1, blank
// lines included), so the number matches what the editor shows. nullopt on a blank line.
std::optional<std::string> ndjsonPathAt(std::u16string_view text, std::size_t offset);
std::optional<std::string> ndjsonPathAt(const Base::TextSnapshot &text, std::size_t offset);

// The UTF-16 offset of a caret at 1-based `line` and `column`, the column counted as the status
// bar counts it (Base::Text::caretColumn). A column past the line's end gives the line's end;
// nullopt when the line does not exist or either number is below 1.
std::optional<std::size_t> caretOffset(std::u16string_view text, std::int64_t line, std::int64_t column);

// One step from a container to a child: the member named `key` of an object, or else element
// `index` of an array.
struct JSONPathStep {
    std::optional<std::u16string> key;
    std::size_t index = 0;
    bool operator==(const JSONPathStep &) const = default;
};

// Where the value that `steps` lead to from the top-level value starts (UTF-16 units): the
// inverse of jsonPathAt, to put the caret on a value chosen in the tree. Of duplicate keys the
// last member counts, as in the tree. nullopt when the text does not hold that value; work is
// proportional to the offset of the value's container's end.
std::optional<std::size_t> jsonValueOffset(std::u16string_view text, const std::vector<JSONPathStep> &steps);

inline constexpr std::size_t maximumPathDepth = 1 << 16;
inline constexpr std::size_t lookaheadLimit = 1 << 16;

} // namespace Formatting
