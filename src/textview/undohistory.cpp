#include "undohistory.h"

#include <algorithm>

namespace TextView {

void UndoHistory::beginGroup()
{
    m_open.emplace_back();
}

void UndoHistory::endGroup()
{
    if (m_open.empty())
        return;
    UndoStep group = std::move(m_open.back());
    m_open.pop_back();
    if (group.edits.empty())
        return;
    if (!m_open.empty()) {
        UndoStep &outer = m_open.back();
        if (outer.edits.empty())
            outer.restores = group.restores;
        outer.edits.insert(outer.edits.end(), std::make_move_iterator(group.edits.begin()),
                           std::make_move_iterator(group.edits.end()));
        return;
    }
    m_undo.push_back(std::move(group));
}

void UndoHistory::record(UndoEdit edit, ContentState before)
{
    m_redo.clear();
    if (m_open.empty()) {
        m_undo.push_back({{std::move(edit)}, before});
        return;
    }
    UndoStep &group = m_open.back();
    if (group.edits.empty())
        group.restores = before;
    group.edits.push_back(std::move(edit));
}

void UndoHistory::checkCoalescing(TextRange range)
{
    if (!m_coalescing) {
        beginGroup();
        m_coalescing = true;
        m_lastRange = range;
        return;
    }
    if (m_lastRange) {
        const TextRange last = *m_lastRange;
        const bool intersects = std::max(last.location, range.location) < std::min(last.end(), range.end());
        if (!intersects && last.end() != range.location) {
            endGroup();
            beginGroup();
        }
    }
    m_lastRange = range;
}

void UndoHistory::endCoalescing()
{
    if (!m_coalescing)
        return;
    m_coalescing = false;
    m_lastRange.reset();
    endGroup();
}

bool UndoHistory::canUndo() const
{
    if (!m_undo.empty())
        return true;
    return std::any_of(m_open.begin(), m_open.end(), [](const UndoStep &group) { return !group.edits.empty(); });
}

void UndoHistory::closeAllGroups()
{
    endCoalescing();
    while (!m_open.empty())
        endGroup();
}

std::optional<UndoStep> UndoHistory::takeUndo()
{
    closeAllGroups();
    if (m_undo.empty())
        return std::nullopt;
    UndoStep step = std::move(m_undo.back());
    m_undo.pop_back();
    return step;
}

std::optional<UndoStep> UndoHistory::takeRedo()
{
    closeAllGroups();
    if (m_redo.empty())
        return std::nullopt;
    UndoStep step = std::move(m_redo.back());
    m_redo.pop_back();
    return step;
}

void UndoHistory::pushUndo(UndoStep step)
{
    m_undo.push_back(std::move(step));
}

void UndoHistory::pushRedo(UndoStep step)
{
    m_redo.push_back(std::move(step));
}

void UndoHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_open.clear();
    m_lastRange.reset();
    m_coalescing = false;
}

} // namespace TextView
