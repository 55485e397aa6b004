#pragma once

#include "findbarrows.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class STTextView;

// The find (and replace) bar shown above the text of a view.
class STFindBar : public QWidget {
    Q_OBJECT
public:
    explicit STFindBar(STTextView *view);

    void showFind(bool replace);
    bool isReplaceShown() const;
    void refreshCount();
    QLineEdit *findField() const { return m_find; }
    QLineEdit *replaceField() const { return m_replace; }
    QCheckBox *caseBox() const { return m_case; }
    QLabel *countLabel() const { return m_count; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Keys the bar's controls leave unhandled end here: the view behind the bar is the parent,
    // and a key reaching it would edit the document.
    void keyPressEvent(QKeyEvent *event) override;
    // Tab and Shift+Tab cycle through the bar's controls (the view takes Tab as text).
    bool focusNextPrevChild(bool next) override;

private:
    void searchChanged();

    STTextView *m_view;
    QWidget *m_buttons;
    std::optional<TextView::FindBarRows> m_rows;
    QLineEdit *m_find;
    QLineEdit *m_replace;
    QCheckBox *m_case;
    QLabel *m_count;
    QWidget *m_replaceRow;
};
