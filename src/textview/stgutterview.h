#pragma once

#include <QWidget>

#include <cstddef>
#include <optional>

class STTextView;

// Line numbers beside a text view, in the view's style and font. Its width follows the number of
// digits of the line count. It only paints and asks the view to select lines: a click on a number
// selects its line (with Shift, from the selection's anchor), dragging extends by whole lines.
class STGutterView : public QWidget {
    Q_OBJECT
public:
    explicit STGutterView(STTextView *view);

    // Width needed for the current line count.
    int preferredWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::size_t lineAt(int y) const;

    STTextView *m_view;
    // The line a drag started from, while the button is down.
    std::optional<std::size_t> m_anchorLine;
};
