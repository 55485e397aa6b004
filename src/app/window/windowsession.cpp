#include "windowsession.h"

namespace App {

WindowSession &WindowSession::shared()
{
    static WindowSession session;
    return session;
}

} // namespace App
