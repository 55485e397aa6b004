#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class STTextView;

// Line numbers beside a text view. Its width follows the number of digits of the line count.
class STGutterView : public QWidget {
    Q_OBJECT
public:
    explicit STGutterView(STTextView *view);

    // The font is QWidget::font(); a change resizes the gutter.
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);
    // Width needed for the current line count.
    int preferredWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    // A click on a number selects its line; dragging extends by whole lines.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    STTextView *m_view;
    QColor m_textColor{QColor(0, 0, 0, 100)};
    QColor m_backgroundColor{Qt::white};
};
