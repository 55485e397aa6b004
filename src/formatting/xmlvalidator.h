#pragma once

#include "formatting/validation.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace Formatting {

// Well-formedness of XML documents (property lists included) with libxml2. No schema or DTD
// validation, no network, no external entity or DTD is ever loaded, entity expansion is bounded,
// and nothing is printed. Safe to call from any thread, several at once.
class XMLValidator {
public:
    XMLValidator() = delete;

    // `empty` for a blank text. Otherwise the text is parsed as UTF-8 after the encoding
    // attribute of its XML declaration (the first match of encodingDeclaration) is removed,
    // whatever encoding it named. A fault gives `invalid` with the parser's message (trimmed)
    // and its 1-based line and column, or "Parse error" when the parser gave no message.
    // Unpaired surrogates give "Encoding error" with their line and caret column. A document
    // whose entity references add up to more than four times its size plus 4 MiB of text is
    // refused ("Entity references expand to too much text").
    static Validation validate(std::u16string_view text);

    // The first match in `text` of the case-insensitive pattern
    // (<\?xml[^>]*?)\s+encoding\s*=\s*(?:"[^"]*"|'[^']*')([^>]*\?>)
    // as half-open UTF-16 ranges: removing [removedBegin, removedEnd) leaves "$1$2".
    struct EncodingDeclaration {
        std::size_t removedBegin = 0;
        std::size_t removedEnd = 0;
        bool operator==(const EncodingDeclaration &) const = default;
    };
    // Linear in the length of the text whatever it holds.
    static std::optional<EncodingDeclaration> encodingDeclaration(std::u16string_view text);
};

} // namespace Formatting
