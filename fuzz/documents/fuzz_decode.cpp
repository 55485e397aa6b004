// Any byte sequence decodes (or fails with a message) and, when it has no CR to normalise,
// encodes back to exactly the same bytes.
#include "documents/lineending.h"
#include "documents/textcodec.h"

#include <cstdint>
#include <cstring>

// Decoding in a chosen encoding is strict too: what it accepts encodes back to the same bytes.
void checkChosenEncodings(std::string_view bytes)
{
    for (const Documents::Encoding encoding : Documents::allEncodings) {
        // UTF-16 of unspecified order included: it reports the byte order it read.
        auto result = Documents::decodeAs(bytes, encoding);
        auto *decoded = std::get_if<Documents::DecodedText>(&result);
        if (!decoded)
            continue;
        const auto again = Documents::encodeForWriting(decoded->text.view(), decoded->encoding,
                                                       Documents::LineEnding::Lf, decoded->hadBOM);
        if (!again || *again != bytes)
            __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    checkChosenEncodings(bytes);
    auto result = Documents::decodeWithFallback(bytes);
    auto *decoded = std::get_if<Documents::DecodedText>(&result);
    if (!decoded)
        return 0;
    const bool hasCarriageReturn = decoded->text.view().find(u'\r') != std::u16string_view::npos;
    if (!hasCarriageReturn) {
        const auto again = Documents::encodeForWriting(decoded->text.view(), decoded->encoding,
                                                       Documents::LineEnding::Lf, decoded->hadBOM);
        if (!again || *again != bytes)
            __builtin_trap();
    }
    const Documents::LineEnding lineEnding = Documents::normalizeLineEndings(decoded->text);
    if (decoded->text.view().find(u'\r') != std::u16string_view::npos)
        __builtin_trap();
    (void)Documents::encodeForWriting(decoded->text.view(), decoded->encoding, lineEnding, decoded->hadBOM);
    return 0;
}
