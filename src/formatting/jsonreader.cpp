#include "jsonreader_p.h"

#include "formatting/textscan_p.h"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

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

} // namespace

ReaderResult readJson(Base::ByteBuffer &bytes)
{
    rapidjson::Reader reader;
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::InsituStringStream stream(bytes.data());
    const rapidjson::ParseResult parsed = reader.Parse<checkFlags>(stream, handler);
    if (parsed.IsError())
        return {false, int(parsed.Code()), parsed.Offset()};
    // The reader takes a NUL byte for the end of the text; one inside the text is a fault.
    if (stream.Tell() < bytes.size())
        return {false, int(rapidjson::kParseErrorDocumentRootNotSingular), stream.Tell()};
    return {};
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
