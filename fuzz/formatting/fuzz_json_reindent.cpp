// JSONFormatter::reindent on text that need not be JSON, with a small output limit.

#include "fuzzinput.h"

#include "formatting/jsonformatter.h"

using Formatting::JSONFormatter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const std::size_t limit = 1 << 20;
    if (auto indented = JSONFormatter::reindent(text, limit))
        require(indented->size() <= limit);
    return 0;
}
