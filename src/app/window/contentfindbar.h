#pragma once

#include "viewers/searchable.h"

#include "highlighting/theme.h"

#include "textview/findbarrows.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;

namespace App {

// The find bar of the read-only views (the CSV table, the JSON tree, the Markdown preview):
// the text view's find bar without Replace, with the same keys. Return finds the next match and
// Shift+Return the previous one, Escape closes the bar, Tab and Shift+Tab move among its
// controls; no key reaches the view behind it. Typing searches as you type, from the current
// match on, and the count reads like the text view's ("2 of 7", "7 matches", "No matches").
class ContentFindBar : public QWidget {
    Q_OBJECT

public:
    explicit ContentFindBar(QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);

    // The view searched, none when null. A view that stops being the target loses its search
    // (and its marks). The target must outlive the bar or be replaced first.
    void setTarget(Viewers::Searchable *target);
    Viewers::Searchable *target() const { return m_target; }

    // Shows the bar with its field focused and selected, and searches the target for the field's
    // text without moving to a match.
    void open();
    // Hides the bar and clears the target's search (also the marks a Find Next made while the
    // bar was closed); the field keeps its text for Find Next.
    void close();
    bool isOpen() const { return !isHidden(); }
    // The next (or previous) match of the field's text in the target, searching it again when
    // it holds no search (after close()). False, changing nothing, for an empty field or when
    // nothing matches.
    bool findNext(Viewers::SearchDirection direction);
    // Rereads the count from the target.
    void refreshCount();

    QLineEdit *findField() const { return m_find; }
    QCheckBox *caseBox() const { return m_case; }
    QLabel *countLabel() const { return m_count; }
    Viewers::TextMatcher matcher() const;

signals:
    // The user closed the bar (Escape, Done): the view behind it should take the focus.
    void closeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Keys the bar's controls leave unhandled end here, never in the window behind.
    void keyPressEvent(QKeyEvent *event) override;
    // Tab and Shift+Tab cycle through the bar's controls.
    bool focusNextPrevChild(bool next) override;

private:
    void searchChanged();

    Viewers::Searchable *m_target = nullptr;
    QWidget *m_buttons;
    std::optional<TextView::FindBarRows> m_rows;
    QLineEdit *m_find;
    QCheckBox *m_case;
    QLabel *m_count;
    QColor m_rule;
};

} // namespace App
