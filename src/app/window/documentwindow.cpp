#include "documentwindow.h"

#include "scratchcloseguard.h"
#include "windowsession.h"

#include "base/localization.h"

#include <QCloseEvent>
#include <QPointer>

#include <utility>

namespace App {

DocumentWindow::DocumentWindow(ContentView::Options options, QWidget *parent)
    : QMainWindow(parent), m_view(new ContentView(std::move(options), this))
{
    setCentralWidget(m_view);
    setWindowTitle(QStringLiteral("Corvane[*]"));
    resize(1000, 700);
}

DocumentWindow::~DocumentWindow()
{
    scratchDelegates().remove(this);
    liveScratchWindows().remove(this);
}

ScratchCloseGuard *DocumentWindow::scratchGuard() const
{
    return scratchDelegates().value(this);
}

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    if (applicationIsQuitting()) {
        // The quit saved with force and asked already.
        m_view->saveIfDirty(SaveReason::Quit);
    } else if (!std::exchange(m_closeConfirmed, false) && !m_view->saveIfDirty(SaveReason::BeforeLeaving)) {
        event->ignore();
        QPointer<DocumentWindow> self(this);
        m_view->askAboutUnsavedEdits(LeaveReason::Closing, [self] {
            if (!self)
                return;
            self->m_closeConfirmed = true;
            self->close();
        });
        return;
    }
    if (ScratchCloseGuard *guard = scratchGuard(); guard && !guard->windowShouldClose()) {
        event->ignore();
        return;
    }
    WindowSession::shared().windowWillClose(m_view);
    WindowSession::shared().windowDidClose(m_view);
    event->accept();
    scratchWindowWillClose(this);
}

} // namespace App
