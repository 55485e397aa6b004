#pragma once

#include "base/largebuffer.h"

#include <string>
#include <string_view>

namespace Viewers::Internal {

// White space and line breaks: general categories Zs, Zl, Zp, U+0009–U+000D and U+0085. All of
// them are in the BMP, so a UTF-16 unit can be tested on its own.
bool isWhitespaceOrNewline(char16_t unit);

std::u16string_view trimmed(std::u16string_view text);
bool isBlank(std::u16string_view text);

// Strict UTF-16 → UTF-8 appended to `out`; false on an unpaired surrogate.
bool appendUtf8(std::u16string_view text, Base::ByteBuffer &out);
bool appendUtf8(std::u16string_view text, std::string &out);
// Valid UTF-8 (as produced by a parser from valid input) → UTF-16, appended.
void appendUtf16(std::string_view utf8, std::u16string &out);

} // namespace Viewers::Internal
