#pragma once

#include "highlighting/theme.h"

#include <QStringList>
#include <QWidget>

namespace App {

// A row of mutually exclusive segments (the view pickers), in the theme's colours. Arrow keys
// move the choice while it has focus.
class SegmentedPicker : public QWidget {
    Q_OBJECT

public:
    SegmentedPicker(const QStringList &labels, int width, QWidget *parent = nullptr);

    int currentIndex() const { return m_current; }
    // Programmatic changes do not emit `activated`.
    void setCurrentIndex(int index);
    QStringList labels() const { return m_labels; }
    void setTheme(const Highlighting::Theme &theme);
    // The segment's rectangle, for tests and hit testing.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;

signals:
    // The user chose a segment.
    void activated(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void choose(int index);

    QStringList m_labels;
    int m_width;
    int m_current = 0;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

} // namespace App
