// Random edits, undos and redos against a plain string model: the storage text, its line
// index and the undo history must always agree with the model.
#include "textview/editmodel.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The model the unit tests use, with an abort for the fuzzer on any disagreement.
void check(const TextViewTest::EditModel &h)
{
    if (h.storage.text() != h.model || !h.linesConsistent())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TextViewTest::EditModel h;
    h.model = u"seed\nline two\n\nlast";
    h.storage.setText(h.model);
    std::size_t i = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t op = next();
        const std::size_t position = (std::size_t(next()) << 8 | next()) % (h.model.size() + 1);
        switch (op % 5) {
        case 0:
        case 1: {
            std::u16string inserted;
            const std::size_t count = next() % 16;
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t c = next();
                inserted += c < 64 ? u'\n' : char16_t(c < 250 ? c : 0xD800 + c);
            }
            h.replace(position, op % 2 ? next() % 8 : 0, inserted, op % 5 == 0);
            break;
        }
        case 2:
            h.replace(position, next(), u"", false);
            break;
        case 3:
            h.undo.undo();
            break;
        case 4:
            h.undo.redo();
            break;
        }
        check(h);
    }
    return 0;
}
