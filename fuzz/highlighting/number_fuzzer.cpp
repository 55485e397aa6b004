// isNumericString against the C library itself: for ASCII text without white space or NUL it
// must agree with "strtod (C locale) consumes everything, or the text starts with 0x/0X".
// scanNumber must stay inside its limit and return either the start or a later position.
#include "highlighting/syntaxhighlighter.h"

#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace SH = Highlighting::SyntaxHighlighter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 64)
        return 0;
    std::string narrow(reinterpret_cast<const char *>(data), size);
    std::u16string text(size, u'\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = char16_t(data[i]);

    bool plainAscii = true;
    for (unsigned char c : narrow)
        if (c == 0 || c >= 0x80 || std::isspace(c))
            plainAscii = false;
    if (plainAscii) {
        std::setlocale(LC_NUMERIC, "C");
        char *end = nullptr;
        std::strtod(narrow.c_str(), &end);
        const bool consumed = !narrow.empty() && end == narrow.c_str() + narrow.size();
        const bool hexPrefix = narrow.size() >= 2 && narrow[0] == '0' && (narrow[1] == 'x' || narrow[1] == 'X');
        if (SH::isNumericString(text) != (consumed || hexPrefix))
            std::abort();
    } else {
        SH::isNumericString(text);
    }

    for (std::size_t start = 0; start <= size; ++start) {
        const std::size_t limit = size - (size ? data[0] % (size + 1) : 0);
        const std::size_t end = SH::scanNumber(text, start, limit);
        if (end != start && (end < start || end > limit))
            std::abort();
    }
    return 0;
}
