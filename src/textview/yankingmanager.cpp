#include "yankingmanager.h"

#include <algorithm>

namespace TextView {

YankingManager::YankingManager(int ringSize)
    : m_buffer(std::size_t(std::max(ringSize, 1)))
{
}

void YankingManager::kill(DeleteAction action, const std::u16string &text)
{
    if (!m_lastDeleteAction || *m_lastDeleteAction != action) {
        m_lastDeleteAction = action;
        m_index = (m_index + 1) % m_buffer.size();
        m_buffer[m_index].clear();
    }
    std::u16string &slot = m_buffer[m_index];
    switch (action) {
    case DeleteAction::DeleteToMark:
    case DeleteAction::DeleteWordForward:
    case DeleteAction::DeleteToEndOfLine:
    case DeleteAction::DeleteToEndOfParagraph:
        slot += text;
        break;
    case DeleteAction::DeleteWordBackward:
    case DeleteAction::DeleteToBeginningOfLine:
    case DeleteAction::DeleteToBeginningOfParagraph:
        slot.insert(0, text);
        break;
    case DeleteAction::Delete:
        slot = text;
        break;
    }
}

std::u16string YankingManager::yank()
{
    m_yanking = true;
    return m_buffer[m_index];
}

} // namespace TextView
