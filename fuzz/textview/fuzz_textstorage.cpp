// Random edits, typing, groups, undos and redos of a text document against a plain string model
// with its own history: the storage text, its line index and the undo history must always agree
// with the model.
#include "textview/textdocument.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The text the document should hold, and the texts undo and redo should bring back, newest last.
struct Model {
    std::u16string text;
    std::vector<std::u16string> undo; // texts before each closed step
    std::vector<std::u16string> redo;
};

bool linesConsistent(const TextView::TextStorage &storage, const std::u16string &text)
{
    std::size_t line = 0, start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n') {
            if (line >= storage.lineCount() || storage.lineStart(line) != start || storage.lineLength(line) != i - start)
                return false;
            ++line;
            start = i + 1;
        }
    }
    return line == storage.lineCount() && storage.length() == text.size();
}

void check(const TextView::TextDocument &document, const Model &model)
{
    if (document.storage().text() != model.text || !linesConsistent(document.storage(), model.text))
        std::abort();
    if (document.canRedo() != !model.redo.empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TextView::TextDocument document;
    Model model;
    model.text = u"seed\nline two\n\nlast";
    document.setText(model.text);
    std::size_t i = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t op = next();
        const std::size_t position = (std::size_t(next()) << 8 | next()) % (model.text.size() + 1);
        switch (op % 5) {
        case 0:
        case 1:
        case 2: {
            std::u16string inserted;
            const std::size_t count = next() % 16;
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t c = next();
                inserted += c < 64 ? u'\n' : char16_t(c < 250 ? c : 0xD800 + c);
            }
            const std::size_t removed = op % 5 == 2 ? next() : (op % 2 ? next() % 8 : 0);
            // Every edit is a step of its own here: typing coalescing is checked by the tests.
            model.undo.push_back(model.text);
            model.redo.clear();
            document.replace({position, removed}, inserted);
            model.text.replace(position, std::min(removed, model.text.size() - position), inserted);
            break;
        }
        case 3:
            if (document.undo()) {
                if (model.undo.empty())
                    std::abort();
                model.redo.push_back(model.text);
                model.text = model.undo.back();
                model.undo.pop_back();
            } else if (!model.undo.empty()) {
                std::abort();
            }
            break;
        case 4:
            if (document.redo()) {
                if (model.redo.empty())
                    std::abort();
                model.undo.push_back(model.text);
                model.text = model.redo.back();
                model.redo.pop_back();
            } else if (!model.redo.empty()) {
                std::abort();
            }
            break;
        }
        check(document, model);
    }
    return 0;
}
