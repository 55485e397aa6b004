#include "textcodec.h"

#include "documents/fileio.h"

#include "base/utf.h"

#include <algorithm>
#include <array>

namespace Documents {

namespace {

constexpr std::size_t NulSampleSize = 4096;

// UTF-16 candidates ordered by where the NULs of the sample sit, or none when the sample does
// not look like UTF-16 at all.
std::array<Encoding, 2> utf16Order(std::string_view sample, bool &looksLikeUtf16)
{
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (sample[i] == '\0')
            ++(i % 2 == 0 ? even : odd);
    }
    looksLikeUtf16 = !sample.empty() && (even + odd) * 5 >= sample.size();
    // ASCII in little-endian order has its zero high byte at odd offsets.
    if (even > odd)
        return {Encoding::Utf16BE, Encoding::Utf16LE};
    return {Encoding::Utf16LE, Encoding::Utf16BE};
}

} // namespace

Base::Message unknownEncodingMessage()
{
    return {"Unknown encoding", {}};
}

Base::Message cannotEncodeMessage(Encoding encoding)
{
    return {"Text cannot be encoded as %@", {std::string(displayName(encoding))}};
}

std::variant<DecodedText, Base::Message> decodeWithFallback(std::string_view bytes)
{
    DecodedText result;
    // UTF-16 never has more units than the source has bytes: one allocation serves every try.
    result.text.reserve(bytes.size());

    if (const auto bom = BOMUtil::detect(bytes)) {
        if (decode(bom->encoding, bytes.substr(bom->length), result.text)) {
            result.encoding = bom->encoding;
            result.hadBOM = true;
            return result;
        }
        result.text.clear();
    }

    if (Base::Utf::decodeUtf8(bytes, result.text)) {
        result.encoding = Encoding::Utf8;
        return result;
    }

    std::array<Encoding, 6> candidates{};
    std::size_t count = 0;
    bool looksLikeUtf16 = false;
    const auto order = utf16Order(bytes.substr(0, NulSampleSize), looksLikeUtf16);
    if (looksLikeUtf16) {
        candidates[count++] = order[0];
        candidates[count++] = order[1];
    }
    for (Encoding encoding : {Encoding::Windows1251, Encoding::Windows1252, Encoding::Latin1, Encoding::MacRoman})
        candidates[count++] = encoding;

    for (std::size_t i = 0; i < count; ++i) {
        result.text.clear();
        if (decode(candidates[i], bytes, result.text)) {
            result.encoding = candidates[i];
            return result;
        }
    }
    return unknownEncodingMessage();
}

std::variant<DecodedText, Base::Message> readTextWithFallback(const std::string &path)
{
    Base::ByteBuffer bytes;
    if (auto error = readWholeFile(path, bytes))
        return std::move(*error);
    return decodeWithFallback(bytes.view());
}

bool canEncode(std::u16string_view text, Encoding encoding)
{
    constexpr std::size_t piece = 64 * 1024;
    std::string scratch;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t count = std::min(piece, text.size() - at);
        // Never split a surrogate pair between two pieces.
        if (at + count < text.size() && Base::Utf::isHighSurrogate(text[at + count - 1]))
            ++count;
        scratch.clear();
        if (!encode(encoding, text.substr(at, count), scratch))
            return false;
        at += count;
    }
    return true;
}

std::variant<DecodedText, Base::Message> decodeAs(std::string_view bytes, Encoding encoding)
{
    DecodedText result;
    // UTF-16 of unspecified order is reported in the order it was read in, so that the next
    // save writes the bytes it found rather than every character swapped.
    result.encoding = encoding == Encoding::Utf16 ? Encoding::Utf16LE : encoding;
    if (const auto bom = BOMUtil::detect(bytes)) {
        const bool unspecifiedUtf16 =
            encoding == Encoding::Utf16 && (bom->encoding == Encoding::Utf16LE || bom->encoding == Encoding::Utf16BE);
        if (bom->encoding == encoding || unspecifiedUtf16) {
            result.encoding = bom->encoding;
            bytes.remove_prefix(bom->length);
            result.hadBOM = true;
        }
    }
    result.text.reserve(bytes.size());
    if (!decode(result.encoding, bytes, result.text))
        return Base::Message{"The file is not valid %@", {std::string(displayName(encoding))}};
    return result;
}

std::variant<DecodedText, Base::Message> readTextAs(const std::string &path, Encoding encoding)
{
    Base::ByteBuffer bytes;
    if (auto error = readWholeFile(path, bytes))
        return std::move(*error);
    return decodeAs(bytes.view(), encoding);
}

std::optional<std::string> encodeForWriting(std::u16string_view text, Encoding encoding,
                                            LineEnding lineEnding, bool includeBOM)
{
    if (encoding == Encoding::Utf16)
        encoding = Encoding::Utf16LE;
    std::string out;
    if (includeBOM)
        out += BOMUtil::bytes(encoding);

    if (lineEnding == LineEnding::Lf) {
        if (!encode(encoding, text, out))
            return std::nullopt;
        return out;
    }

    // Encode line by line so no converted copy of the whole text is needed.
    std::string lineBreak;
    encode(encoding, lineEnding == LineEnding::Crlf ? std::u16string_view(u"\r\n") : std::u16string_view(u"\r"),
           lineBreak);
    out.reserve(out.size() + text.size() + text.size() / 16);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(u'\n', start);
        if (!encode(encoding, text.substr(start, end == std::u16string_view::npos ? end : end - start), out))
            return std::nullopt;
        if (end == std::u16string_view::npos)
            break;
        out += lineBreak;
        start = end + 1;
    }
    return out;
}

std::string TextDoc::fileBytes() const
{
    if (auto bytes = encodeForWriting(text, encoding, lineEnding, includeBOM))
        return std::move(*bytes);
    // UTF-8 can only fail on an unpaired surrogate; the panels must still get bytes.
    std::string out = includeBOM ? std::string(BOMUtil::bytes(Encoding::Utf8)) : std::string();
    out += Base::Utf::toUtf8(convertLineEndings(text, lineEnding));
    return out;
}

TextDoc TextDoc::fromFileBytes(std::string_view bytes)
{
    TextDoc doc;
    Base::U16Buffer decoded;
    if (Base::Utf::decodeUtf8(bytes, decoded))
        doc.text.assign(decoded.data(), decoded.size());
    return doc;
}

} // namespace Documents
