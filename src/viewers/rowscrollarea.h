#pragma once

#include "viewers/heightindex.h"

#include <QAbstractScrollArea>

#include <optional>

namespace Viewers::Internal {

// A vertically scrolling list of rows of varying height in which only the rows on screen are
// ever measured and painted. Rows not yet shown carry an estimated height; the scroll position
// is kept as (row at the top, offset into it), so measuring rows never makes the content jump.
class RowScrollArea : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit RowScrollArea(QWidget *parent = nullptr);

    // The row at the top of the viewport (for tests and benchmarks).
    std::size_t firstVisibleRow() const { return m_anchorRow; }
    // Rows measured so far: a list of a million rows measures only what has been on screen.
    std::size_t measuredRowCount() const;
    // Pixels of the top row hidden above the viewport (negative while the top inset shows).
    std::int64_t firstVisibleRowOffset() const { return m_anchorOffset; }
    // Scrolls so that `row` is at the top with `offset` of its pixels above the viewport (as
    // far as the list allows).
    void scrollToRow(std::size_t row, std::int64_t offset = 0);

protected:
    // Starts over with `count` rows of `estimate` pixels, scrolled to the top.
    void resetRows(std::size_t count, int estimate);
    void resetRows(std::vector<int> estimates);
    // Every row is measured again when next shown (fonts or widths changed).
    void remeasureRows();

    // The height of `row` in pixels, padding included, for the current viewport.
    virtual int measureRow(std::size_t row) = 0;
    // Paints `row` into `rect` (viewport coordinates, already shifted by the horizontal scroll).
    virtual void paintRow(QPainter &painter, std::size_t row, const QRect &rect) = 0;
    virtual void paintBackground(QPainter &painter);
    // Drawn after the rows, e.g. a pinned header.
    virtual void paintOverlay(QPainter &) {}
    // Space above the first row and below the last, in content pixels.
    virtual int topInset() const { return 0; }
    virtual int bottomInset() const { return 0; }
    // Width of the content for horizontal scrolling; 0 when it always fits the viewport.
    virtual int contentWidth() const { return 0; }
    // Called when the viewport's width changes.
    virtual void viewportWidthChanged() {}

    int horizontalOffset() const;
    // The row at viewport point y, if any.
    std::optional<std::size_t> rowAtViewportY(int y) const;
    // Top of `row` in viewport coordinates (valid after a layout pass).
    int viewportYOfRow(std::size_t row) const;
    // Measures the rows on screen and sets the scroll bars; paintEvent does it first.
    void layoutVisibleRows();

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

    HeightIndex m_heights;

private:
    void anchorToScrollValue(std::int64_t value);
    std::int64_t scrollValueFromAnchor() const;

    std::size_t m_anchorRow = 0;
    std::int64_t m_anchorOffset = 0; // Content pixels from the anchor row's top to the viewport's top.
    int m_lastWidth = -1;
    bool m_updatingBars = false;
};

} // namespace Viewers::Internal
