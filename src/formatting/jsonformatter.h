#pragma once

#include "formatting/validation.h"
#include "formatting/validationlist.h"

#include "base/largebuffer.h"
#include "base/textsnapshot.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace Formatting {

// JSON and NDJSON checks and pretty-printing. Pure functions of their input, safe to call from
// any thread, several at once. Text is UTF-16 with LF line breaks; nothing is thrown.
class JSONFormatter {
public:
    JSONFormatter() = delete;

    // `empty` when the text holds only white space and line breaks; `invalid` with
    // "Encoding error" and the position of the first unpaired surrogate when the text cannot be
    // encoded as UTF-8; otherwise the verdict of the JSON reader (top-level scalars allowed),
    // whose fault carries a 1-based line and a column counted like the caret column.
    static Validation validate(std::u16string_view text);
    // The same verdict for a snapshot, read piece by piece: a valid document is never copied as
    // UTF-16, only encoded once as UTF-8 (a fault's position then needs one copy). nullopt when
    // the snapshot was revoked meanwhile.
    static std::optional<Validation> validate(const Base::TextSnapshot &text);

    // One JSON value per line (lines split at LF, numbered from 1, blank lines skipped but
    // counted, each line trimmed of white space and CR). `empty` when no line holds anything.
    // The first faulty line gives `invalid` with that line's number and a column counted from
    // the line's first non-blank character (1 when the reader gives none).
    static Validation validateNDJSON(std::u16string_view text);
    // Every faulty line, each reported exactly as validateNDJSON reports the first one, in line
    // order. Stops after `limit` faults (0: no limit), setting `stoppedEarly` when non-blank
    // lines were left unchecked. The state and the first error always agree with
    // validateNDJSON; a valid document costs the same as validateNDJSON.
    static ValidationList validateNDJSONAll(std::u16string_view text, std::size_t limit = defaultErrorLimit);

    // The text re-indented by `reindent` when it is valid JSON; otherwise, or when the indented
    // form would exceed `maximumPrettyLength` code units, a copy of the text unchanged.
    static Base::U16Buffer prettyPrint(std::u16string_view text);

    // Re-indents text that is known to be JSON in one linear pass, keeping every token exactly
    // as written: white space (space, tab, LF, CR) outside strings is dropped, each "{" or "["
    // opens a new line indented two spaces deeper, "," ends a line, ":" is followed by one
    // space, closers go on their own line, and an empty object or array prints as "{}" / "[]".
    // LF line breaks, no trailing line break. Invalid input still gives text (unbalanced
    // closers keep the depth at 0). Returns nullopt when the output would exceed
    // `maximumLength` code units, so hostile nesting (each level costs two more spaces on
    // every line) cannot exhaust memory.
    static std::optional<Base::U16Buffer> reindent(std::u16string_view text,
                                                   std::size_t maximumLength = maximumPrettyLength);

    // Each non-blank line that holds a JSON object or array is rewritten compact (no added white
    // space), with object keys sorted by code point (duplicates kept, in their order), "/"
    // unescaped, integers as written and other numbers in shortest round-trip form (a fraction
    // keeps ".0"); blank lines become empty; every other line stays exactly as it was. The
    // output has as many lines as the input.
    static Base::U16Buffer prettyPrintNDJSON(std::u16string_view text);

    // 128 Mi code units (256 MiB): far beyond the 50 MB that the editor opens.
    static constexpr std::size_t maximumPrettyLength = std::size_t(1) << 27;
    // Enough faults to fill an error list; a file with more is better fixed another way.
    static constexpr std::size_t defaultErrorLimit = 1000;
};

} // namespace Formatting
