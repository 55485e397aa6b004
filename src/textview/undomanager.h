#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace TextView {

// A UTF-16 range of the text.
struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    std::size_t end() const { return location + length; }
    bool operator==(const TextRange &) const = default;
};

// Grouped undo and redo of registered actions. Groups are opened and closed explicitly (no
// grouping by event); nested groups merge into the outermost one. Actions run while undoing
// register their inverse into the redo group, and the other way round.
class UndoManager {
public:
    using Action = std::function<void()>;

    virtual ~UndoManager() = default;

    void beginUndoGrouping();
    // Closes the innermost group; closing the outermost files it for undo (or for redo while
    // undoing). A group without actions is dropped. Unbalanced calls are ignored.
    void endUndoGrouping();
    int groupingLevel() const { return int(m_open.size()); }

    // Adds `action` to the open group; with no group open it becomes a group of its own.
    // Ignored while registration is disabled.
    void registerUndo(Action action);
    void disableUndoRegistration() { ++m_disabled; }
    void enableUndoRegistration()
    {
        if (m_disabled > 0)
            --m_disabled;
    }
    bool isUndoRegistrationEnabled() const { return m_disabled == 0; }

    bool canUndo() const;
    bool canRedo() const;
    // Open groups are closed first.
    virtual void undo();
    virtual void redo();
    bool isUndoing() const { return m_undoing; }
    bool isRedoing() const { return m_redoing; }
    void removeAllActions();

    std::size_t undoCount() const { return m_undoStack.size(); }
    std::size_t redoCount() const { return m_redoStack.size(); }

protected:
    void closeAllGroups();

private:
    using Group = std::vector<Action>;
    void runGroup(std::vector<Group> &from, bool undoing);

    std::vector<Group> m_undoStack;
    std::vector<Group> m_redoStack;
    std::vector<Group> m_open;
    int m_disabled = 0;
    bool m_undoing = false;
    bool m_redoing = false;
};

// Coalesces a run of typed characters into one undo step: each typing edit reports the range
// its text now occupies; the open group continues while each range touches or follows the
// previous one, and any other edit, undo or redo closes it.
class CoalescingUndoManager : public UndoManager {
public:
    const std::optional<TextRange> &lastRange() const { return m_lastRange; }
    bool isCoalescing() const { return m_coalescing; }

    void checkCoalescing(TextRange range);
    // Opens a group unless one is open.
    void startCoalescing();
    void endCoalescing();

    void undo() override;
    void redo() override;

private:
    std::optional<TextRange> m_lastRange;
    bool m_coalescing = false;
};

} // namespace TextView
