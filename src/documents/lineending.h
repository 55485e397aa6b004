#pragma once

#include "base/largebuffer.h"

#include <optional>
#include <string>
#include <string_view>

namespace Documents {

// A file's line-break convention. Text inside the application always uses LF; the file's own
// convention is detected on load and restored on save.
enum class LineEnding { Lf, Crlf, Cr };

// "lf", "crlf", "cr".
std::string_view rawValue(LineEnding lineEnding);
// Exactly the three raw values, case-sensitive.
std::optional<LineEnding> lineEndingFromRawValue(std::string_view raw);
// Status-bar label: "LF", "CRLF", "CR".
std::string_view label(LineEnding lineEnding);

// Precedence: any CR LF pair → Crlf; else any LF → Lf; else any CR → Cr; else Lf.
LineEnding detectLineEnding(std::u16string_view text);

// Rewrites `text` in place to LF-only (every CR LF pair, then every lone CR, becomes LF) and
// returns the detected line ending. Text without CR is left untouched and gives Lf.
LineEnding normalizeLineEndings(Base::U16Buffer &text);
LineEnding normalizeLineEndings(std::u16string &text);

// `text` with every LF replaced by the line ending's break; nothing else is touched.
std::u16string convertLineEndings(std::u16string_view text, LineEnding lineEnding);

} // namespace Documents
