// Random edits, undos and redos against a plain string model: the storage text, its line
// index and the undo history must always agree with the model.
#include "textview/textstorage.h"
#include "textview/undomanager.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Harness {
    TextView::TextStorage storage;
    TextView::CoalescingUndoManager undo;
    std::u16string model;

    void replace(std::size_t position, std::size_t removed, const std::u16string &inserted, bool typing)
    {
        position = std::min(position, model.size());
        removed = std::min(removed, model.size() - position);
        const std::u16string old = model.substr(position, removed);
        const TextView::TextRange range{position, inserted.size()};
        if (!undo.isUndoing() && !undo.isRedoing()) {
            if (typing)
                undo.checkCoalescing(range);
            else
                undo.endCoalescing();
        }
        undo.beginUndoGrouping();
        undo.registerUndo([this, range, old] { replace(range.location, range.length, old, false); });
        undo.endUndoGrouping();
        storage.replace(position, removed, inserted);
        model.replace(position, removed, inserted);
    }

    void check() const
    {
        if (storage.length() != model.size() || storage.text() != model)
            std::abort();
        std::size_t line = 0, start = 0;
        for (std::size_t i = 0; i <= model.size(); ++i) {
            if (i == model.size() || model[i] == u'\n') {
                if (storage.lineStart(line) != start || storage.lineLength(line) != i - start)
                    std::abort();
                ++line;
                start = i + 1;
            }
        }
        if (line != storage.lineCount())
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Harness h;
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
        h.check();
    }
    return 0;
}
