#pragma once

#include <QWidget>

class QCheckBox;
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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchChanged();

    STTextView *m_view;
    QLineEdit *m_find;
    QLineEdit *m_replace;
    QCheckBox *m_case;
    QLabel *m_count;
    QWidget *m_replaceRow;
};
