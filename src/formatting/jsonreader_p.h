#pragma once

#include "base/largebuffer.h"

#include <cstddef>
#include <string>
#include <string_view>

// The JSON reader behind every JSON check: RapidJSON's Reader in iterative mode, so that deep
// nesting costs heap, not stack. Standard JSON (RFC 8259) with a top-level scalar allowed: no
// comments, trailing commas, NaN/Infinity or unescaped control characters. Numbers are not
// converted, but an exponent beyond the range of a double (1e400) is refused.
namespace Formatting::Internal {

struct ReaderResult {
    bool ok = true;
    int code = 0;            // rapidjson::ParseErrorCode when !ok.
    std::size_t offset = 0;  // 0-based byte offset of the fault when !ok.
    // Set by readJsonBytes when `offset` is where a string holding a lone low surrogate escape
    // starts; `locate` turns it into the escape's offset.
    bool offsetIsRefusedString = false;
};

// Checks the UTF-8 bytes [bytes.data(), bytes.data() + bytes.size()), which must be followed by
// a NUL byte (encodeUtf8 puts one there) and be the UTF-8 form of `source`. The bytes are used
// as scratch space and hold nothing useful afterwards. A NUL byte inside the text is a fault, never
// an early end. A \u escape of a surrogate without its other half (high or low alike) is a
// kParseErrorStringUnicodeSurrogateInvalid fault at the escape's backslash.
ReaderResult readJson(Base::ByteBuffer &bytes, std::u16string_view source);

// readJson in two steps, for callers that free the bytes before they have the source: the check
// needs only the bytes, `locate` then needs only the source.
ReaderResult readJsonBytes(Base::ByteBuffer &bytes);
ReaderResult locate(ReaderResult result, std::u16string_view source);

// The reader's description of a failed `result` for the parsed `source`: a short English
// sentence ending in " around line L, column C.", where C counts like the caret column.
std::string describe(const ReaderResult &result, std::u16string_view source);

} // namespace Formatting::Internal
