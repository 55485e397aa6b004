#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace TextView {

// The kinds of deletion that feed the kill ring, in the order the ring knows them.
enum class DeleteAction {
    Delete,
    DeleteToMark,
    DeleteWordForward,
    DeleteWordBackward,
    DeleteToBeginningOfLine,
    DeleteToEndOfLine,
    DeleteToBeginningOfParagraph,
    DeleteToEndOfParagraph,
};

// The kill ring. Consecutive deletions of the same kind accumulate into one entry in reading
// order; a deletion of another kind starts the next entry.
class YankingManager {
public:
    // The desktop has no kill-ring preference of its own; one entry, like the usual default.
    static constexpr int DefaultRingSize = 1;

    // Sizes below 1 are raised to 1.
    explicit YankingManager(int ringSize = DefaultRingSize);

    void kill(DeleteAction action, const std::u16string &text);
    // Marks a yank in progress and returns the text of the current entry.
    std::u16string yank();

    std::size_t index() const { return m_index; }
    const std::vector<std::u16string> &buffer() const { return m_buffer; }
    bool isYanking() const { return m_yanking; }
    void setYanking(bool yanking) { m_yanking = yanking; }
    const std::optional<DeleteAction> &lastDeleteAction() const { return m_lastDeleteAction; }

private:
    std::size_t m_index = 0;
    std::vector<std::u16string> m_buffer;
    bool m_yanking = false;
    std::optional<DeleteAction> m_lastDeleteAction;
};

} // namespace TextView
