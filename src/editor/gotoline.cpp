#include "gotoline.h"

#include <algorithm>
#include <limits>

namespace Editor {

LineRequest parseLineRequest(std::u16string_view text, std::int64_t maxLine)
{
    const std::int64_t upper = std::max<std::int64_t>(maxLine, 1);
    const OutOfRange rejected{upper};
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return rejected;
    // Accumulate negatively so that the full signed range parses without overflow.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return rejected;
        const int digit = text[i] - u'0';
        if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10)
            return rejected;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<std::int64_t>::min())
            return rejected;
        value = -value;
    }
    if (value < 1 || value > upper)
        return rejected;
    return value;
}

} // namespace Editor
