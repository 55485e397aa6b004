#pragma once

// A storage paired with a plain string model and an undo manager wired the way the view wires
// them: each replacement registers the inverse replacement.
#include "textview/textstorage.h"
#include "textview/undomanager.h"

#include <string>

namespace TextViewTest {

struct EditModel {
    TextView::TextStorage storage;
    TextView::CoalescingUndoManager undo;
    std::u16string model;

    void replace(std::size_t position, std::size_t removed, const std::u16string &inserted, bool typing)
    {
        position = std::min(position, model.size());
        removed = std::min(removed, model.size() - position);
        const std::u16string old = model.substr(position, removed);
        const TextView::TextRange newRange{position, inserted.size()};
        if (!undo.isUndoing() && !undo.isRedoing()) {
            if (typing)
                undo.checkCoalescing(newRange);
            else
                undo.endCoalescing();
        }
        undo.beginUndoGrouping();
        undo.registerUndo([this, newRange, old] { replace(newRange.location, newRange.length, old, false); });
        undo.endUndoGrouping();
        storage.replace(position, removed, inserted);
        model.replace(position, removed, inserted);
    }

    // Every line start and length agrees with a fresh scan of the model.
    bool linesConsistent() const
    {
        std::size_t line = 0, start = 0;
        for (std::size_t i = 0; i <= model.size(); ++i) {
            if (i == model.size() || model[i] == u'\n') {
                if (line >= storage.lineCount() || storage.lineStart(line) != start
                    || storage.lineLength(line) != i - start)
                    return false;
                ++line;
                start = i + 1;
            }
        }
        return line == storage.lineCount() && storage.length() == model.size();
    }
};

} // namespace TextViewTest
