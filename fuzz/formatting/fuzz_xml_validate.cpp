// XMLValidator::validate on arbitrary text, read from every kind of source.

#include "fuzzinput.h"

#include "formatting/xmlvalidator.h"

using Formatting::XMLSource;
using Formatting::XMLValidator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    // The first byte's upper bits pick the source (0: unknown, as older seeds have it).
    XMLSource source;
    if (size > 0) {
        source.form = XMLSource::Form((data[0] >> 1) % 7);
        source.hadBOM = (data[0] & 0x10) != 0;
        // A code page stand-in with one byte per character, as the real ones have.
        source.encode = [](std::u16string_view units, std::string &out) {
            for (char16_t c : units) {
                if (c > 0xFF)
                    return false;
                out.push_back(char(c));
            }
            return true;
        };
    }
    const auto verdict = XMLValidator::validate(text, source);
    if (const auto *fault = verdict.error()) {
        require(!fault->message.empty());
        require(!fault->line || *fault->line >= 1);
        require(!fault->column || *fault->column >= 1);
    }
    return 0;
}
