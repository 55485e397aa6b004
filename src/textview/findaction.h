#pragma once

#include <optional>

namespace TextView {

// What a find command asks of a text view. The integer values are the codes the menu commands
// post through the notification centre.
enum class FindAction : int {
    ShowFindInterface = 1,
    NextMatch = 2,
    PreviousMatch = 3,
    HideFindInterface = 11,
    ShowReplaceInterface = 12,
};

constexpr int findActionCode(FindAction action)
{
    return static_cast<int>(action);
}

// The action a posted code stands for; none for a code that names no action.
constexpr std::optional<FindAction> findActionFromCode(int code)
{
    switch (code) {
    case findActionCode(FindAction::ShowFindInterface):
    case findActionCode(FindAction::NextMatch):
    case findActionCode(FindAction::PreviousMatch):
    case findActionCode(FindAction::HideFindInterface):
    case findActionCode(FindAction::ShowReplaceInterface):
        return static_cast<FindAction>(code);
    default:
        return std::nullopt;
    }
}

} // namespace TextView
