#include "undomanager.h"

#include <algorithm>

namespace TextView {

void UndoManager::beginUndoGrouping()
{
    m_open.emplace_back();
}

void UndoManager::endUndoGrouping()
{
    if (m_open.empty())
        return;
    Group group = std::move(m_open.back());
    m_open.pop_back();
    if (!m_open.empty()) {
        Group &outer = m_open.back();
        outer.insert(outer.end(), std::make_move_iterator(group.begin()), std::make_move_iterator(group.end()));
        return;
    }
    if (group.empty())
        return;
    if (m_undoing) {
        m_redoStack.push_back(std::move(group));
    } else {
        m_undoStack.push_back(std::move(group));
        if (!m_redoing)
            m_redoStack.clear();
    }
}

void UndoManager::registerUndo(Action action)
{
    if (!isUndoRegistrationEnabled() || !action)
        return;
    if (m_open.empty()) {
        beginUndoGrouping();
        m_open.back().push_back(std::move(action));
        endUndoGrouping();
        return;
    }
    m_open.back().push_back(std::move(action));
}

bool UndoManager::canUndo() const
{
    if (!m_undoStack.empty())
        return true;
    return std::any_of(m_open.begin(), m_open.end(), [](const Group &g) { return !g.empty(); });
}

bool UndoManager::canRedo() const
{
    return !m_redoStack.empty();
}

void UndoManager::closeAllGroups()
{
    while (!m_open.empty())
        endUndoGrouping();
}

void UndoManager::runGroup(std::vector<Group> &from, bool undoing)
{
    closeAllGroups();
    if (from.empty() || m_undoing || m_redoing)
        return;
    Group group = std::move(from.back());
    from.pop_back();
    (undoing ? m_undoing : m_redoing) = true;
    beginUndoGrouping();
    // Later actions undo later changes, so they run first.
    for (auto it = group.rbegin(); it != group.rend(); ++it)
        (*it)();
    endUndoGrouping();
    (undoing ? m_undoing : m_redoing) = false;
}

void UndoManager::undo()
{
    runGroup(m_undoStack, true);
}

void UndoManager::redo()
{
    runGroup(m_redoStack, false);
}

void UndoManager::removeAllActions()
{
    m_undoStack.clear();
    m_redoStack.clear();
    m_open.clear();
}

void CoalescingUndoManager::checkCoalescing(TextRange range)
{
    if (!m_coalescing) {
        beginUndoGrouping();
        m_coalescing = true;
        m_lastRange = range;
        return;
    }
    if (m_lastRange) {
        const TextRange last = *m_lastRange;
        const bool intersects = std::max(last.location, range.location) < std::min(last.end(), range.end());
        if (!intersects && last.end() != range.location) {
            endUndoGrouping();
            beginUndoGrouping();
        }
    }
    m_lastRange = range;
}

void CoalescingUndoManager::startCoalescing()
{
    if (groupingLevel() == 0)
        beginUndoGrouping();
}

void CoalescingUndoManager::endCoalescing()
{
    if (!m_coalescing)
        return;
    m_coalescing = false;
    m_lastRange.reset();
    endUndoGrouping();
}

void CoalescingUndoManager::undo()
{
    endCoalescing();
    UndoManager::undo();
}

void CoalescingUndoManager::redo()
{
    endCoalescing();
    UndoManager::redo();
}

} // namespace TextView
