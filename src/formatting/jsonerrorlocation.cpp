#include "jsonerrorlocation.h"

#include "formatting/regex_p.h"
#include "formatting/textscan_p.h"

#include "base/utf.h"

#include <charconv>

namespace Formatting {

namespace {

using Internal::Regex;

// Compiled on first use, then shared read-only (function-local statics are initialised once,
// thread-safely).
const Regex &cleanLineColRegex()
{
    static const Regex regex(u" around line \\d+, column \\d+\\.?", Regex::Case::Sensitive);
    return regex;
}
const Regex &cleanCharRegex()
{
    static const Regex regex(u" around character \\d+\\.?", Regex::Case::Sensitive);
    return regex;
}
const Regex &lineColRegex()
{
    static const Regex regex(u"line (\\d+), column (\\d+)", Regex::Case::Sensitive);
    return regex;
}
const Regex &charRegex()
{
    static const Regex regex(u"character (\\d+)", Regex::Case::Sensitive);
    return regex;
}

std::optional<std::int64_t> decimal(std::u16string_view text, Regex::Group group)
{
    if (!group.isSet())
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = group.begin; i < group.end; ++i) {
        const int digit = text[i] - u'0';
        if (digit < 0 || digit > 9)
            return std::nullopt; // \d also matches non-ASCII digits in principle.
        if (value > (INT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

ValidationError parseError(std::string_view description, std::u16string_view source)
{
    const std::u16string text = Base::Utf::toUtf16(description);
    const std::u16string cleaned = cleanCharRegex().removeAll(cleanLineColRegex().removeAll(text));
    const OptionalLineColumn position = extractLineCol(description, source);
    return {Base::Utf::toUtf8(Internal::trimmed(cleaned)), position.line, position.column};
}

OptionalLineColumn extractLineCol(std::string_view description, std::u16string_view source)
{
    const std::u16string text = Base::Utf::toUtf16(description);
    if (auto match = lineColRegex().firstMatch(text))
        return {decimal(text, (*match)[1]), decimal(text, (*match)[2])};
    if (auto match = charRegex().firstMatch(text)) {
        if (auto offset = decimal(text, (*match)[1]))
            return positionFromCharIndex(*offset, source);
    }
    return {};
}

OptionalLineColumn positionFromCharIndex(std::int64_t offset, std::u16string_view source)
{
    std::int64_t line = 1;
    std::int64_t column = 1;
    std::int64_t remaining = offset > 0 ? offset : 0;
    for (std::size_t i = 0; i < source.size() && remaining > 0; ++i) {
        const char16_t c = source[i];
        if (c == u'\n') {
            ++line;
            column = 1;
            --remaining;
            continue;
        }
        std::int64_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (Base::Utf::isHighSurrogate(c) && i + 1 < source.size() && Base::Utf::isLowSurrogate(source[i + 1])) {
            length = 4;
            ++i;
        }
        const std::int64_t taken = length < remaining ? length : remaining;
        column += taken;
        remaining -= taken;
    }
    return {line, column};
}

} // namespace Formatting
