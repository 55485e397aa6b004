#pragma once

#include "contentview.h"

#include <QMainWindow>

namespace App {

class ScratchCloseGuard;

// One top-level window showing one ContentView. Closing it asks its scratch close guard first,
// when it has one (see scratchcloseguard.h), then saves every window; when the close would lose
// text that could not be saved, the user decides.
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
};

} // namespace App
