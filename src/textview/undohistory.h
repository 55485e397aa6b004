#pragma once

#include "textview/textrange.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TextView {

// One replacement as the history keeps it: [position, position + insertedLength) holds the text
// that replaced `removed`. Its inverse puts `removed` back over that range.
struct UndoEdit {
    std::size_t position = 0;
    std::u16string removed;
    std::size_t insertedLength = 0;
    bool operator==(const UndoEdit &) const = default;
};

// Identifies a content of the text as far as the history can tell: every recorded edit makes a
// new one, undoing or redoing a step returns to the one the step was taken from.
using ContentState = std::uint64_t;

// What one undo (or redo) brings back: its edits in the order they were made, to be inverted
// newest first, and the content state the text is in once they are.
struct UndoStep {
    std::vector<UndoEdit> edits;
    ContentState restores = 0;
};

// The undo and redo stacks of one text, as data (no callbacks, no text): the TextDocument records
// the inverse of every edit it makes and applies the steps it takes back.
//
// Steps are groups of edits. Groups are opened and closed explicitly and nest, inner groups
// merging into the outermost one; an edit recorded with no group open is a step of its own.
// Typing coalesces by rule: each typing edit reports the range its text now occupies, and the
// open typing group continues while each range touches or follows the previous one; any other
// edit, an undo or a redo closes it.
class UndoHistory {
public:
    void beginGroup();
    // Closes the innermost group; closing the outermost files it as an undo step unless it is
    // empty. Unbalanced calls are ignored.
    void endGroup();
    int groupingLevel() const { return int(m_open.size()); }

    // Records `edit`, made while the text was in state `before`, into the innermost open group
    // (or as a step of its own). A new edit leaves nothing to redo.
    void record(UndoEdit edit, ContentState before);

    // Typing: continues the open typing group when `range` (where the typed text now is)
    // touches or overlaps the previous one, else closes it and opens the next. Opens a typing
    // group when none is open.
    void checkCoalescing(TextRange range);
    // Closes the typing group, if one is open.
    void endCoalescing();
    bool isCoalescing() const { return m_coalescing; }
    const std::optional<TextRange> &coalescingRange() const { return m_lastRange; }

    // An open group that holds an edit counts as something to undo.
    bool canUndo() const;
    bool canRedo() const { return !m_redo.empty(); }
    // Closed steps only.
    std::size_t undoCount() const { return m_undo.size(); }
    std::size_t redoCount() const { return m_redo.size(); }

    // Ends typing, closes every open group, then takes the newest undo (redo) step; none when
    // the stack is empty. The caller applies it and files its inverse with pushRedo()
    // (pushUndo()), which leaves the other stack as it is.
    std::optional<UndoStep> takeUndo();
    std::optional<UndoStep> takeRedo();
    void pushUndo(UndoStep step);
    void pushRedo(UndoStep step);

    void clear();

private:
    void closeAllGroups();

    std::vector<UndoStep> m_undo;
    std::vector<UndoStep> m_redo;
    // Innermost last; an empty group has not recorded its `restores` yet.
    std::vector<UndoStep> m_open;
    std::optional<TextRange> m_lastRange;
    bool m_coalescing = false;
};

} // namespace TextView
