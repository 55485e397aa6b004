#include "windowsession.h"

#include "contentview.h"

#include "app/services/preferences.h"

#include <algorithm>

namespace App {

WindowSession &WindowSession::shared()
{
    static WindowSession session;
    return session;
}

void WindowSession::windowWillClose(ContentView *closing)
{
    const auto views = m_views;
    for (ContentView *view : views)
        if (view != closing)
            view->saveIfDirty(SaveReason::AutoSave);
}

void WindowSession::windowDidClose(ContentView *closed)
{
    const bool othersRemain = std::any_of(m_views.begin(), m_views.end(), [closed](ContentView *view) {
        return view != closed && view->window()->isVisible();
    });
    if (!othersRemain)
        Preferences::shared().setSessionEnded(true);
}

} // namespace App
