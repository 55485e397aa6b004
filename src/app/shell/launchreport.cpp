#include "launchreport.h"

#include "appdelegate.h"

#include "app/window/documentwindow.h"
#include "textview/stextview.h"

#include <QEvent>

#include <cstdio>

namespace App {

namespace {
const char *const shownProperty = "corvaneReportedShown";
const char *const paintedProperty = "corvaneReportedPainted";
} // namespace

bool LaunchReport::isRequested()
{
    return qEnvironmentVariableIsSet("CORVANE_LAUNCH_REPORT");
}

LaunchReport::LaunchReport(AppDelegate &delegate, QElapsedTimer sinceStart)
    : QObject(&delegate), m_sinceStart(sinceStart)
{
    connect(&delegate, &AppDelegate::windowOpened, this, [this](DocumentWindow *window) {
        window->installEventFilter(this);
        window->contentView()->textView()->viewport()->installEventFilter(this);
    });
}

bool LaunchReport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Paint)
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    auto *window = qobject_cast<DocumentWindow *>(widget->window());
    if (!window)
        return false;
    if (!window->property(shownProperty).toBool()) {
        window->setProperty(shownProperty, true);
        std::printf("shown %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
        std::fflush(stdout);
    }
    const auto &doc = window->contentView()->doc();
    if (doc && widget != window && !window->property(paintedProperty).toBool()) {
        window->setProperty(paintedProperty, true);
        std::printf("painted %lld %s\n", static_cast<long long>(m_sinceStart.elapsed()), doc->path.c_str());
        std::fflush(stdout);
    }
    return false;
}

} // namespace App
