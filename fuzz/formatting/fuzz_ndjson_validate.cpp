// JSONFormatter::validateNDJSON and prettyPrintNDJSON on arbitrary text.

#include "fuzzinput.h"

#include "formatting/jsonformatter.h"

#include <algorithm>

using Formatting::JSONFormatter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const auto verdict = JSONFormatter::validateNDJSON(text);
    if (const auto *fault = verdict.error())
        require(fault->line && *fault->line >= 1 && fault->column && *fault->column >= 1);
    const Base::U16Buffer normalised = JSONFormatter::prettyPrintNDJSON(text);
    const auto lines = [](std::u16string_view view) { return std::count(view.begin(), view.end(), u'\n'); };
    require(lines(normalised.view()) == lines(text));
    if (verdict.isValid())
        require(JSONFormatter::validateNDJSON(normalised.view()).isValid());
    return 0;
}
