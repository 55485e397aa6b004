#pragma once

#include "base/largebuffer.h"
#include "base/text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Text helpers shared by the JSON and XML checks.
namespace Formatting::Internal {

using Base::Text::isWhitespaceOrNewline;
using Base::Text::trimmed;

// Index of the first LF at or after `from`, or text.size(). Vectorised: NDJSON checks call it
// once per line over the whole document.
std::size_t findLineFeed(std::u16string_view text, std::size_t from);

// Replaces the contents of `out` with the UTF-8 form of `text` followed by one NUL byte (not
// counted in out.size()), so parsers that stop at NUL can read it. Returns the index of the
// first unpaired surrogate, which cannot be encoded (out is then unspecified), or npos.
std::size_t encodeUtf8(std::u16string_view text, Base::ByteBuffer &out);

// Appends the UTF-8 form of `text` to `out` without a terminator. Returns the index in `text`
// of the first unpaired surrogate (out then holds an unspecified prefix), or npos.
std::size_t appendUtf8(std::u16string_view text, Base::ByteBuffer &out);
// Puts a NUL byte after the last byte of `out` without counting it in out.size().
void terminate(Base::ByteBuffer &out);

// A per-thread buffer for encodeUtf8, reused between calls so that repeated checks of a large
// document do not pay for fresh pages each time. Freed when the thread ends.
Base::ByteBuffer &threadScratch();
// Gives the scratch buffer's memory back once it holds more than a few MB: a worker thread must
// not keep a 50 MB document's UTF-8 form for as long as it lives.
void releaseLargeScratch(Base::ByteBuffer &scratch);

// 1-based line and column of the UTF-16 position `index` in `text`.
struct LineColumn {
    std::int64_t line = 1;
    std::int64_t column = 1;
};
// The column counts like the editor's caret: user-perceived characters (extended grapheme
// clusters) from the line start, plus 1; beyond 4096 code units into a line, code units plus 1.
LineColumn caretPosition(std::u16string_view text, std::size_t index);

// The UTF-16 index in `text` of the character holding byte `byteOffset` of its UTF-8 form
// (unpaired surrogates count three bytes); text.size() when the offset is at or past the end.
std::size_t utf16IndexOfUtf8Offset(std::u16string_view text, std::size_t byteOffset);

} // namespace Formatting::Internal
