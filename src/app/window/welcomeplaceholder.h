#pragma once

#include "highlighting/theme.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace App {

// What a window shows before it has a document: a way to open one, and a drop target.
class WelcomePlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit WelcomePlaceholder(QWidget *parent = nullptr);
    void setTheme(const Highlighting::Theme &theme);
    // Draws the dashed outline of a drop target while files hover over the window.
    void setDropHighlighted(bool highlighted);
    QPushButton *openButton() const { return m_open; }

signals:
    void openRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    QLabel *m_title = nullptr;
    QLabel *m_hint = nullptr;
    QPushButton *m_open = nullptr;
    bool m_dropHighlighted = false;
};

} // namespace App
