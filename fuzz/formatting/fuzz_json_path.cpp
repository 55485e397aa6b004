// The path at a caret and its inverse on arbitrary text: never a crash, the snapshot reading
// agrees with the contiguous one, and a path leads back to a value inside the text.

#include "fuzzinput.h"

#include "formatting/jsonpath.h"

#include "base/textsnapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const Base::FixedTextSnapshot snapshot(text);
    // A handful of carets spread over the text, both ends included.
    for (std::size_t k = 0; k <= 8; ++k) {
        const std::size_t offset = text.size() * k / 8;
        const auto path = Formatting::jsonPathAt(text, offset);
        require(path == Formatting::jsonPathAt(snapshot, offset));
        require(!path || path->starts_with("$"));
        const auto record = Formatting::ndjsonPathAt(text, offset);
        require(record == Formatting::ndjsonPathAt(snapshot, offset));
        require(!record || record->starts_with("$["));
    }
    // Steps taken from the input's first bytes: small indices, one-letter keys.
    std::vector<Formatting::JSONPathStep> steps;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 4); ++i) {
        if (data[i] & 1)
            steps.push_back({std::nullopt, std::size_t(data[i] >> 5)});
        else
            steps.push_back({std::u16string(1, char16_t(u'a' + (data[i] >> 4))), 0});
        const auto offset = Formatting::jsonValueOffset(text, steps);
        require(!offset || *offset < text.size());
    }
    return 0;
}
