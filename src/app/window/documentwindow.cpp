#include "documentwindow.h"

#include "scratchcloseguard.h"

#include "base/localization.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace App {

DocumentWindow::DocumentWindow(ContentView::Options options, QWidget *parent)
    : QMainWindow(parent), m_view(new ContentView(std::move(options), this))
{
    setCentralWidget(m_view);
    setWindowTitle(QStringLiteral("Corvane[*]"));
    resize(1000, 700);
    setMinimumSize(480, 300);
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
    // The guard goes first: a cancelled close must not end the session.
    if (ScratchCloseGuard *guard = scratchGuard(); guard && !guard->windowShouldClose()) {
        event->ignore();
        return;
    }
    ContentView::titledWindowWillClose(m_view);
    if (m_view->isDirty() && m_view->lastSaveFailed()) {
        QMessageBox question(QMessageBox::Warning, loc("Error"),
                             loc(Base::Message{"%@ could not be saved. Close the window and lose the changes?",
                                               {windowTitle().remove(QStringLiteral("[*]")).toStdString()}}),
                             QMessageBox::NoButton, this);
        question.setTextFormat(Qt::PlainText);
        question.setInformativeText(m_view->errorMessage());
        QPushButton *discard = question.addButton(loc("Close Without Saving"), QMessageBox::DestructiveRole);
        question.addButton(loc("Cancel"), QMessageBox::RejectRole);
        question.exec();
        if (question.clickedButton() != static_cast<QAbstractButton *>(discard)) {
            event->ignore();
            return;
        }
    }
    event->accept();
    scratchWindowWillClose(this);
}

} // namespace App
