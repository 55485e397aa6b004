#include "documentcheck.h"

#include "counts.h"
#include "jobrules.h"

#include "formatting/jsonformatter.h"

#include "documents/textcodec.h"

namespace App {

using Documents::DocKind;
using Documents::Encoding;

Formatting::XMLSource xmlSourceFor(Encoding encoding, bool hadBOM)
{
    using Form = Formatting::XMLSource::Form;
    Formatting::XMLSource source;
    source.hadBOM = hadBOM;
    switch (encoding) {
    case Encoding::Utf8:
    case Encoding::Ascii: source.form = Form::Utf8; break;
    case Encoding::Utf16:
    case Encoding::Utf16LE: source.form = Form::Utf16LE; break;
    case Encoding::Utf16BE: source.form = Form::Utf16BE; break;
    case Encoding::Utf32LE: source.form = Form::Utf32LE; break;
    case Encoding::Utf32BE: source.form = Form::Utf32BE; break;
    case Encoding::Windows1251:
    case Encoding::Windows1252:
    case Encoding::Latin1:
    case Encoding::MacRoman:
        source.form = Form::SingleByte;
        source.encode = [encoding](std::u16string_view text, std::string &out) {
            return Documents::encode(encoding, text, out);
        };
        break;
    }
    return source;
}

Formatting::Validation checkDocument(DocKind kind, std::u16string_view text, const Formatting::XMLSource &source)
{
    switch (kind) {
    case DocKind::Json: return Formatting::JSONFormatter::validate(text);
    case DocKind::Ndjson: return Formatting::JSONFormatter::validateNDJSON(text);
    case DocKind::Xml: return Formatting::XMLValidator::validate(text, source);
    default: return Formatting::Validation::empty();
    }
}

bool isFormatted(DocKind kind, std::u16string_view text)
{
    if (kind != DocKind::Json && kind != DocKind::Ndjson)
        return false;
    // Every unit is at least one byte: skip the count for texts that are surely too long.
    if (text.size() > formattedComparisonLimit || std::size_t(utf8Length(text)) > formattedComparisonLimit)
        return false;
    const Base::U16Buffer pretty = kind == DocKind::Ndjson ? Formatting::JSONFormatter::prettyPrintNDJSON(text)
                                                           : Formatting::JSONFormatter::prettyPrint(text);
    return pretty.view() == text;
}

} // namespace App
