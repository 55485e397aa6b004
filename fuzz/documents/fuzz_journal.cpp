// A recovery journal is read at start-up from whatever a crash left on disk: any bytes either
// decode or fail with a message, and what decodes encodes back to a journal that decodes to the
// same header, text and edits.
#include "documents/editjournal.h"

#include <cstdint>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    namespace Journal = Documents::EditJournal;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const auto result = Journal::decode(bytes);
    const auto *decoded = std::get_if<Journal::Decoded>(&result);
    if (!decoded)
        return 0;
    (void)Journal::finalText(*decoded);
    (void)Journal::lastEditMs(*decoded);

    const std::string again = Journal::encode(decoded->header, decoded->text, decoded->records);
    const auto reread = Journal::decode(again);
    const auto *same = std::get_if<Journal::Decoded>(&reread);
    if (!same || same->header != decoded->header || same->text != decoded->text
        || same->records != decoded->records || same->ignoredTailBytes != 0)
        __builtin_trap();
    return 0;
}
