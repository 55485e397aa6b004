#pragma once

#include "base/notificationcenter.h"

#include <vector>

namespace App {

class ContentView;

// Routes the menu bar's commands, posted as notifications to every window, to the one window
// they address: the key window (or the only one, while none is shown). A scratch flush goes to
// the window it names, or to all. Lives as long as its view.
class WindowCommands {
public:
    explicit WindowCommands(ContentView &view);
    ~WindowCommands();
    WindowCommands(const WindowCommands &) = delete;
    WindowCommands &operator=(const WindowCommands &) = delete;

private:
    std::vector<NotificationCenter::Token> m_tokens;
};

} // namespace App
