// XMLValidator::validate and the encoding-attribute search on arbitrary text.

#include "fuzzinput.h"

#include "formatting/xmlvalidator.h"

using Formatting::XMLValidator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    if (auto declaration = XMLValidator::encodingDeclaration(text))
        require(declaration->removedBegin < declaration->removedEnd && declaration->removedEnd <= text.size());
    const auto verdict = XMLValidator::validate(text);
    if (const auto *fault = verdict.error())
        require(!fault->message.empty());
    return 0;
}
