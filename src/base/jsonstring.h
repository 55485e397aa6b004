#pragma once

#include <string>
#include <string_view>

namespace Base {

// Appends `utf8` as a JSON string literal: quotes, backslashes and control characters escaped
// as RFC 8259 asks (short forms where JSON has them), everything else, "/" included, as is.
void appendJsonString(std::string &out, std::string_view utf8);

} // namespace Base
