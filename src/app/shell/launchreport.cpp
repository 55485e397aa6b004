#include "launchreport.h"

#include "appdelegate.h"

#include "app/window/documentwindow.h"
#include "app/window/fileassociationssheet.h"
#include "textview/stextview.h"

#include <QEvent>

#include <cstdio>

namespace App {

namespace {
const char *const shownProperty = "corvaneReportedShown";
const char *const paintedProperty = "corvaneReportedPainted";
const char *const sheetProperty = "corvaneReportedSheet";
} // namespace

bool LaunchReport::isRequested()
{
    return qEnvironmentVariableIsSet("CORVANE_LAUNCH_REPORT");
}

void LaunchReport::applyTimings()
{
    bool valid = false;
    const int delay = qEnvironmentVariableIntValue("CORVANE_AUTOSAVE_DELAY_MS", &valid);
    if (valid && delay >= 100)
        WindowTimings::shared().autoSaveMs = delay;
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
    // Sheets are children of their window, made after it; a child is told apart by its class
    // once it is polished, not while it is being built.
    if (event->type() == QEvent::ChildPolished) {
        if (auto *sheet = qobject_cast<FileAssociationsSheet *>(static_cast<QChildEvent *>(event)->child()))
            sheet->installEventFilter(this);
        return false;
    }
    if (event->type() != QEvent::Paint)
        return false;
    if (auto *sheet = qobject_cast<FileAssociationsSheet *>(watched)) {
        if (!sheet->property(sheetProperty).toBool()) {
            sheet->setProperty(sheetProperty, true);
            std::printf("sheet %lld\n", static_cast<long long>(m_sinceStart.elapsed()));
            std::fflush(stdout);
        }
        return false;
    }
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
