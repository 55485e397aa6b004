#pragma once

#include "formatting/validation.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Formatting {

// How a document's text was read from its bytes (or will be written back to them): what the
// XML check needs to know to hold the bytes to the XML declaration. Callers that load files
// map their own encoding to it.
struct XMLSource {
    enum class Form : std::uint8_t {
        Unknown,    // Not known (or not from a file): only the text itself is checked.
        Utf8,       // UTF-8 (ASCII included).
        Utf16LE,
        Utf16BE,
        Utf32LE,
        Utf32BE,
        SingleByte, // A legacy code page (Windows-1251/1252, ISO-8859-1, Mac OS Roman, …).
    };
    Form form = Form::Unknown;
    bool hadBOM = false;
    // For SingleByte: appends the text's bytes in that code page to `out` (one byte per UTF-16
    // unit, the exact inverse of the decoding); false when a character has no byte. Used only
    // to place bytes that are not UTF-8 when the declaration says the file is UTF-8.
    std::function<bool(std::u16string_view text, std::string &out)> encode;
};

// Well-formedness of XML documents (property lists included) with libxml2. No schema or DTD
// validation, no network, no external entity or DTD is ever loaded, entity expansion is bounded,
// and nothing is printed. Safe to call from any thread, several at once.
class XMLValidator {
public:
    XMLValidator() = delete;

    // `empty` for a blank text. Otherwise, in this order, the first fault gives `invalid` with a
    // message and its 1-based line and caret column:
    //  - an unpaired surrogate: "Encoding error";
    //  - an XML declaration at the start of the text that breaks
    //      '<?xml' S 'version' Eq ('"1.' [0-9]+ '"' | "'1." [0-9]+ "'")
    //      (S 'encoding' Eq quoted [A-Za-z] [A-Za-z0-9._-]*)? (S 'standalone' Eq quoted yes|no)? S? '?>'
    //    (names lower case and in this order, matching quotes): placed at the first character
    //    that does not fit;
    //  - an encoding name that libxml2 has no decoder for: "Unsupported encoding NAME", at the
    //    name;
    //  - a name that contradicts `source`: UTF-16 on 8-bit bytes ("Document labelled UTF-16 but
    //    has UTF-8 content"), or any name whose decoder does not read the declaration's own
    //    bytes back ("Document labelled NAME but has … content"), at the name; UTF-16 without a
    //    byte-order mark or a declaration at 1:1;
    //  - for a SingleByte source whose declaration names UTF-8 or no encoding: the first bytes
    //    that are not UTF-8 ("Input is not proper UTF-8, indicate encoding ! Bytes: 0x…"), at
    //    their character, unless libxml2 finds a fault before them;
    //  - libxml2's verdict on the text as UTF-8 (the declared encoding is never used to decode
    //    it): the parser's message (trimmed) and position, or "Parse error"; a NOTATION
    //    declaration with neither a SYSTEM nor a PUBLIC identifier, at its "<!NOTATION"; entity
    //    references adding up to more than four times the document's size plus 4 MiB ("Entity
    //    references expand to too much text").
    static Validation validate(std::u16string_view text, const XMLSource &source = {});
};

} // namespace Formatting
