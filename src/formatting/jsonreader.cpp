#include "jsonreader_p.h"

#include "formatting/textscan_p.h"

#include "base/utf.h"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <algorithm>

namespace Formatting::Internal {

namespace {

// In situ: the reader decodes strings inside our own scratch copy instead of copying them;
// numbers as strings: their grammar is checked without converting them.
constexpr unsigned checkFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;

std::string_view faultText(int code, bool atEnd)
{
    using namespace rapidjson;
    switch (ParseErrorCode(code)) {
    case kParseErrorDocumentEmpty:
        return "No JSON value";
    case kParseErrorDocumentRootNotSingular:
        return "Unexpected text after the JSON value";
    case kParseErrorValueInvalid:
        return atEnd ? "Unexpected end of text where a value was expected" : "Invalid value";
    case kParseErrorObjectMissName:
        return atEnd ? "Unexpected end of text where an object key was expected"
                     : "Expected a quoted key in the object";
    case kParseErrorObjectMissColon:
        return atEnd ? "Unexpected end of text where ':' was expected" : "Expected ':' after the object key";
    case kParseErrorObjectMissCommaOrCurlyBracket:
        return atEnd ? "Unexpected end of text in an unclosed object"
                     : "Expected ',' or '}' after the object member";
    case kParseErrorArrayMissCommaOrSquareBracket:
        return atEnd ? "Unexpected end of text in an unclosed array"
                     : "Expected ',' or ']' after the array element";
    case kParseErrorStringUnicodeEscapeInvalidHex:
        return "Invalid \\u escape in a string";
    case kParseErrorStringUnicodeSurrogateInvalid:
        return "Invalid surrogate pair in a string";
    case kParseErrorStringEscapeInvalid:
        return "Invalid escape sequence in a string";
    case kParseErrorStringMissQuotationMark:
        return "Missing closing quotation mark of a string";
    case kParseErrorStringInvalidEncoding:
        return "Unescaped control character in a string";
    case kParseErrorNumberTooBig:
        return "Number too big";
    case kParseErrorNumberMissFraction:
        return "Missing digits after the decimal point";
    case kParseErrorNumberMissExponent:
        return "Missing digits in the exponent";
    default:
        return "Syntax error";
    }
}

// RapidJSON refuses a \uD800–\uDBFF escape without its low half but writes a lone
// \uDC00–\uDFFF one into the string as if it were a character; this handler refuses that too.
class SurrogateCheck : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, SurrogateCheck> {
public:
    SurrogateCheck(const char *buffer, rapidjson::InsituStringStream &stream) : m_buffer(buffer), m_stream(stream) {}

    bool RawNumber(const char *, rapidjson::SizeType, bool) { return true; }
    bool String(const char *text, rapidjson::SizeType length, bool) { return check(text, length); }
    bool Key(const char *text, rapidjson::SizeType length, bool) { return check(text, length); }

    // Byte offset of the refused string's first content byte (in situ, decoded strings start
    // where their source did), or npos.
    std::size_t refusedString() const { return m_refused; }

private:
    bool check(const char *text, rapidjson::SizeType length)
    {
        // The reader has just passed the closing quote. A string as long as its source had no
        // escape, and only an escape can produce a surrogate: most strings cost no scan.
        const std::size_t start = std::size_t(text - m_buffer);
        if (std::size_t(length) + 1 == m_stream.Tell() - start)
            return true;
        if (!Base::Utf::holdsEncodedSurrogate(std::string_view(text, length)))
            return true;
        m_refused = start;
        return false;
    }

    const char *m_buffer;
    rapidjson::InsituStringStream &m_stream;
    std::size_t m_refused = std::string_view::npos;
};

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The UTF-8 offset of the first lone \uDC00–\uDFFF escape of the string whose contents start
// at byte `contentOffset` of `source`'s UTF-8 form. The bytes themselves are overwritten by
// then, so the walk reads the source; the reader has already checked every escape.
std::size_t loneLowSurrogateEscape(std::u16string_view source, std::size_t contentOffset)
{
    std::size_t i = utf16IndexOfUtf8Offset(source, contentOffset);
    std::size_t byte = contentOffset;
    while (i < source.size() && source[i] != u'"') {
        const char16_t c = source[i];
        if (c == u'\\' && i + 1 < source.size()) {
            std::size_t length = 2;
            if (source[i + 1] == u'u' && i + 5 < source.size()) {
                unsigned unit = 0;
                for (std::size_t k = 2; k < 6; ++k)
                    unit = unit * 16 + unsigned(std::max(hexDigit(source[i + k]), 0));
                if (Base::Utf::isLowSurrogate(char16_t(unit)))
                    return byte;
                length = Base::Utf::isHighSurrogate(char16_t(unit)) ? 12 : 6;
            }
            i += length;
            byte += length;
            continue;
        }
        if (Base::Utf::isHighSurrogate(c) && i + 1 < source.size() && Base::Utf::isLowSurrogate(source[i + 1])) {
            i += 2;
            byte += 4;
            continue;
        }
        byte += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        ++i;
    }
    return contentOffset;
}

} // namespace

ReaderResult readJsonBytes(Base::ByteBuffer &bytes)
{
    rapidjson::Reader reader;
    rapidjson::InsituStringStream stream(bytes.data());
    SurrogateCheck handler(bytes.data(), stream);
    const rapidjson::ParseResult parsed = reader.Parse<checkFlags>(stream, handler);
    ReaderResult result;
    if (parsed.IsError() && handler.refusedString() != std::string_view::npos) {
        result = {false, int(rapidjson::kParseErrorStringUnicodeSurrogateInvalid), handler.refusedString()};
        result.offsetIsRefusedString = true;
        return result;
    }
    if (parsed.IsError())
        return {false, int(parsed.Code()), parsed.Offset()};
    // The reader takes a NUL byte for the end of the text; one inside the text is a fault.
    if (stream.Tell() < bytes.size())
        return {false, int(rapidjson::kParseErrorDocumentRootNotSingular), stream.Tell()};
    return result;
}

ReaderResult locate(ReaderResult result, std::u16string_view source)
{
    if (result.offsetIsRefusedString) {
        result.offset = loneLowSurrogateEscape(source, result.offset);
        result.offsetIsRefusedString = false;
    }
    return result;
}

ReaderResult readJson(Base::ByteBuffer &bytes, std::u16string_view source)
{
    return locate(readJsonBytes(bytes), source);
}

std::string describe(const ReaderResult &result, std::u16string_view source)
{
    const std::size_t index = utf16IndexOfUtf8Offset(source, result.offset);
    const LineColumn position = caretPosition(source, index);
    const bool atEnd = index >= source.size();
    // The reader reports a raw control character in a string as a bad escape (or, for NUL, as
    // the string's end): name what the user actually wrote.
    const bool controlCharacter = !atEnd && source[index] < 0x20
                                  && (result.code == rapidjson::kParseErrorStringEscapeInvalid
                                      || result.code == rapidjson::kParseErrorStringMissQuotationMark);
    std::string text(controlCharacter ? faultText(rapidjson::kParseErrorStringInvalidEncoding, false)
                                      : faultText(result.code, atEnd));
    text += " around line " + std::to_string(position.line) + ", column " + std::to_string(position.column) + ".";
    return text;
}

} // namespace Formatting::Internal
