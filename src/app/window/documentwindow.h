#pragma once

#include "contentview.h"

#include <QMainWindow>

namespace App {

// One top-level window showing one ContentView. Closing it saves every window first; when the
// close would lose text that could not be saved, the user decides.
class DocumentWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit DocumentWindow(ContentView::Options options = {}, QWidget *parent = nullptr);

    ContentView *contentView() const { return m_view; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ContentView *m_view;
};

} // namespace App
