#pragma once

#include <QLabel>

namespace App {

// A one-line plain-text label that, when narrower than its text, shows it shortened with "…" in
// the middle (a file name keeps its start and its extension) instead of cutting it off. text()
// stays the whole text; the tooltip is the caller's.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // What is drawn at the current width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace App
