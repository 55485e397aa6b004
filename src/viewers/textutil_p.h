#pragma once

#include "base/largebuffer.h"
#include "base/text.h"

#include <string>
#include <string_view>

namespace Viewers::Internal {

using Base::Text::isWhitespaceOrNewline;
using Base::Text::trimmed;

bool isBlank(std::u16string_view text);

// Strict UTF-16 → UTF-8 appended to `out`; false on an unpaired surrogate.
bool appendUtf8(std::u16string_view text, Base::ByteBuffer &out);
bool appendUtf8(std::u16string_view text, std::string &out);
// Valid UTF-8 (as produced by a parser from valid input) → UTF-16, appended.
void appendUtf16(std::string_view utf8, std::u16string &out);

} // namespace Viewers::Internal
