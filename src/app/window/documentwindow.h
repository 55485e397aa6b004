#pragma once

#include "contentview.h"

#include <QMainWindow>

namespace App {

class ScratchCloseGuard;

// One top-level window showing one ContentView. Closing it saves every window; when this
// window's edits cannot reach the disk (a change made there by another program, a failed save)
// the user decides what becomes of them before anything closes. Then its scratch close guard,
// when it has one (see scratchcloseguard.h), asks about the note. While the application quits,
// windows close without questions: the quit saved and asked already.
class DocumentWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit DocumentWindow(ContentView::Options options = {}, QWidget *parent = nullptr);
    ~DocumentWindow() override;

    ContentView *contentView() const { return m_view; }
    // The close guard of the window's scratch document; null when it has none.
    ScratchCloseGuard *scratchGuard() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ContentView *m_view;
    // The user answered the unsaved-edits question with a choice that lets the window close.
    bool m_closeConfirmed = false;
};

} // namespace App
