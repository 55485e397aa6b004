// JSONFormatter::validate and prettyPrint on arbitrary text.

#include "fuzzinput.h"

#include "formatting/jsonformatter.h"

using Formatting::JSONFormatter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const auto verdict = JSONFormatter::validate(text);
    if (const auto *fault = verdict.error()) {
        require(!fault->message.empty());
        require(!fault->line || *fault->line >= 1);
        require(!fault->column || *fault->column >= 1);
    }
    const Base::U16Buffer pretty = JSONFormatter::prettyPrint(text);
    if (verdict.isValid()) {
        // Re-indenting keeps the document valid and is idempotent.
        require(JSONFormatter::validate(pretty.view()).isValid());
        const auto again = JSONFormatter::reindent(pretty.view());
        require(again && again->view() == pretty.view());
    } else {
        require(pretty.view() == std::u16string_view(text));
    }
    return 0;
}
