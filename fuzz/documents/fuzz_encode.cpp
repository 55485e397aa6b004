// Any UTF-16 text either encodes strictly and decodes back to itself, or is refused; the
// save-panel path always produces bytes.
#include "documents/encoding.h"
#include "documents/textcodec.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const auto encoding = Documents::allEncodings[data[0] % Documents::allEncodings.size()];
    const auto lineEnding = Documents::LineEnding((data[0] >> 4) % 3);
    const bool bom = data[0] & 0x80;
    std::u16string text((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);

    const auto bytes = Documents::encodeForWriting(text, encoding, lineEnding, bom);
    if (bytes && lineEnding == Documents::LineEnding::Lf) {
        const auto written = encoding == Documents::Encoding::Utf16 ? Documents::Encoding::Utf16LE : encoding;
        const std::size_t mark = bom ? Documents::BOMUtil::bytes(written).size() : 0;
        Base::U16Buffer back;
        if (!Documents::decode(written, std::string_view(*bytes).substr(mark), back) || back.view() != text)
            __builtin_trap();
    }
    const Documents::TextDoc doc{text, encoding, lineEnding, bom};
    if (doc.fileBytes().empty() != text.empty() && !(text.empty() && bom))
        __builtin_trap();
    return 0;
}
