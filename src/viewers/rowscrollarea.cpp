#include "viewers/rowscrollarea.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <limits>
#include <optional>

namespace Viewers::Internal {

RowScrollArea::RowScrollArea(QWidget *parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

std::size_t RowScrollArea::measuredRowCount() const
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < m_heights.count(); ++i)
        count += m_heights.isMeasured(i) ? 1 : 0;
    return count;
}

void RowScrollArea::resetRows(std::size_t count, int estimate)
{
    resetRows(std::vector<int>(count, std::max(1, estimate)));
}

void RowScrollArea::resetRows(std::vector<int> estimates)
{
    for (int &height : estimates)
        height = std::max(1, height);
    m_heights.reset(std::move(estimates));
    m_anchorRow = 0;
    m_anchorOffset = -topInset();
    viewport()->update();
    layoutVisibleRows();
}

void RowScrollArea::remeasureRows()
{
    m_heights.forgetMeasurements();
    viewport()->update();
}

void RowScrollArea::scrollToRow(std::size_t row, std::int64_t offset)
{
    if (m_heights.count() == 0)
        return;
    m_anchorRow = std::min(row, m_heights.count() - 1);
    m_anchorOffset = offset;
    layoutVisibleRows();
    viewport()->update();
}

int RowScrollArea::horizontalOffset() const { return horizontalScrollBar()->value(); }

std::int64_t RowScrollArea::scrollValueFromAnchor() const
{
    return topInset() + m_heights.offsetOf(m_anchorRow) + m_anchorOffset;
}

void RowScrollArea::anchorToScrollValue(std::int64_t value)
{
    const std::int64_t y = value - topInset();
    if (y < 0 || m_heights.count() == 0) {
        m_anchorRow = 0;
        m_anchorOffset = y;
        return;
    }
    m_anchorRow = m_heights.rowAt(y);
    m_anchorOffset = y - m_heights.offsetOf(m_anchorRow);
}

void RowScrollArea::layoutVisibleRows()
{
    const int height = viewport()->height();
    // Measure from the anchor down until the viewport is covered; then, if the list ends too
    // early, move the anchor up and measure what comes into view above.
    for (int pass = 0; pass < 3; ++pass) {
        std::int64_t y = -m_anchorOffset;
        for (std::size_t row = m_anchorRow; row < m_heights.count() && y < height; ++row) {
            if (!m_heights.isMeasured(row))
                m_heights.setHeight(row, std::max(1, measureRow(row)));
            y += m_heights.height(row);
        }
        const std::int64_t total = topInset() + m_heights.total() + bottomInset();
        const std::int64_t maximum = std::max<std::int64_t>(0, total - height);
        const std::int64_t value = scrollValueFromAnchor();
        if (value <= maximum && value >= 0)
            break;
        anchorToScrollValue(std::clamp<std::int64_t>(value, 0, maximum));
    }

    m_updatingBars = true;
    const std::int64_t total = topInset() + m_heights.total() + bottomInset();
    const std::int64_t maximum = std::max<std::int64_t>(0, total - height);
    const int cap = std::numeric_limits<int>::max() / 2;
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(std::max(1, height));
    vertical->setRange(0, int(std::min<std::int64_t>(maximum, cap)));
    vertical->setValue(int(std::min<std::int64_t>(scrollValueFromAnchor(), cap)));
    QScrollBar *horizontal = horizontalScrollBar();
    const int width = contentWidth();
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
    m_updatingBars = false;
}

std::optional<std::size_t> RowScrollArea::rowAtViewportY(int y) const
{
    if (m_heights.count() == 0)
        return std::nullopt;
    const std::int64_t contentY = scrollValueFromAnchor() + y - topInset();
    if (contentY < 0 || contentY >= m_heights.total())
        return std::nullopt;
    return m_heights.rowAt(contentY);
}

int RowScrollArea::viewportYOfRow(std::size_t row) const
{
    return int(topInset() + m_heights.offsetOf(row) - scrollValueFromAnchor());
}

void RowScrollArea::paintBackground(QPainter &painter) { painter.fillRect(viewport()->rect(), palette().base()); }

void RowScrollArea::paintEvent(QPaintEvent *event)
{
    layoutVisibleRows();
    QPainter painter(viewport());
    paintBackground(painter);
    const int height = viewport()->height();
    const int x = -horizontalOffset();
    const int width = std::max(viewport()->width(), contentWidth());
    std::int64_t y = -m_anchorOffset;
    for (std::size_t row = m_anchorRow; row < m_heights.count() && y < height; ++row) {
        const int rowHeight = m_heights.height(row);
        const QRect rect(x, int(y), width, rowHeight);
        if (rect.intersects(event->rect()))
            paintRow(painter, row, rect);
        y += rowHeight;
    }
    paintOverlay(painter);
}

void RowScrollArea::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (viewport()->width() != m_lastWidth) {
        m_lastWidth = viewport()->width();
        viewportWidthChanged();
    }
    layoutVisibleRows();
}

void RowScrollArea::scrollContentsBy(int, int dy)
{
    if (!m_updatingBars && dy != 0)
        anchorToScrollValue(verticalScrollBar()->value());
    viewport()->update();
}

} // namespace Viewers::Internal
