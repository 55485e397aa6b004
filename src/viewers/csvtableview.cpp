#include "csvtableview.h"

#include "viewers/emptystate_p.h"
#include "viewers/viewertext.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <cmath>

namespace Viewers {

namespace {

// Cell text as the text engine draws it: line breaks become line separators and very long
// text is cut with an ellipsis.
QString displayText(std::u16string_view text)
{
    const bool cut = text.size() > std::size_t(CSVTableView::maximumShownCharacters);
    if (cut)
        text = text.substr(0, CSVTableView::maximumShownCharacters);
    QString out = QString::fromUtf16(text.data(), qsizetype(text.size()));
    out.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    out.replace(QLatin1Char('\r'), QChar::LineSeparator);
    out.replace(QLatin1Char('\n'), QChar::LineSeparator);
    if (cut)
        out += QChar(0x2026);
    return out;
}

int layoutHeight(const QTextLayout &layout)
{
    return int(std::ceil(layout.boundingRect().height()));
}

} // namespace

CSVTableView::CSVTableView(QWidget *parent) : RowScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    updateFonts();
    rebuildGeometry();
}

CSVTableView::~CSVTableView() = default;

void CSVTableView::updateFonts()
{
    m_cellFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_cellFont.setPointSizeF(QApplication::font().pointSizeF());
    m_headerFont = m_cellFont;
    m_headerFont.setWeight(QFont::DemiBold);
}

void CSVTableView::setTable(CSVTable table)
{
    // A newer parse of the same document keeps the place and the selection where they still
    // exist, as rows are identified by their position.
    const std::size_t top = firstVisibleRow();
    const std::int64_t topOffset = firstVisibleRowOffset();
    const int left = horizontalScrollBar()->value();
    m_table = std::move(table);
    if (m_selected && (m_selected->row >= m_table.rowCount() || m_selected->column >= m_table.columnCount()))
        m_selected.reset();
    rebuildGeometry();
    if (top < m_table.rowCount())
        scrollToRow(top, topOffset);
    horizontalScrollBar()->setValue(left);
}

void CSVTableView::rebuildGeometry()
{
    m_widths = Viewers::columnWidths(m_table);
    m_columnX.assign(m_widths.size() + 1, padding);
    int x = padding;
    for (std::size_t i = 0; i < m_widths.size(); ++i) {
        m_columnX[i] = x;
        x += int(std::lround(m_widths[i])) + cellSpacing;
    }
    m_columnX[m_widths.size()] = x;
    m_contentWidth = m_widths.empty() ? 0 : x - cellSpacing + padding;

    m_rowCache.clear();
    m_headerLayouts.clear();
    const int lineHeight = QFontMetrics(m_cellFont).lineSpacing();
    int headerText = QFontMetrics(m_headerFont).lineSpacing();
    std::u16string scratch;
    for (std::size_t i = 0; i < m_widths.size(); ++i) {
        auto layout = layoutCell(m_table.headerView(i, scratch), m_headerFont, int(std::lround(m_widths[i])));
        headerText = std::max(headerText, layoutHeight(*layout));
        m_headerLayouts.push_back(std::move(layout));
    }
    m_headerHeight = m_table.headerCount() ? headerText + 2 * headerVerticalPadding : 0;
    resetRows(m_table.rowCount(), lineHeight + 2 * rowVerticalPadding);
}

std::unique_ptr<QTextLayout> CSVTableView::layoutCell(std::u16string_view text, const QFont &font, int width) const
{
    auto layout = std::make_unique<QTextLayout>(displayText(text), font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const qreal leading = QFontMetricsF(font).leading();
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height() + leading;
    }
    layout->endLayout();
    return layout;
}

bool CSVTableView::measuresAllColumns() const { return m_widths.size() <= 256; }

CSVTableView::RowLayouts &CSVTableView::rowLayouts(std::size_t row)
{
    if (auto it = m_rowCache.find(row); it != m_rowCache.end())
        return it->second;
    if (m_rowCache.size() > 4000)
        m_rowCache.clear();
    RowLayouts layouts(m_widths.size());
    std::u16string scratch;
    // Wide tables lay out only the columns in view; their rows grow as more columns are seen.
    std::size_t first = 0;
    std::size_t last = std::min(m_widths.size(), m_table.cellCount(row));
    if (!measuresAllColumns()) {
        const int left = horizontalOffset();
        const int right = left + viewport()->width();
        while (first < last && columnX(first + 1) < left)
            ++first;
        std::size_t end = first;
        while (end < last && columnX(end) < right)
            ++end;
        last = end;
    }
    for (std::size_t column = first; column < last; ++column)
        layouts[column] = layoutCell(m_table.cellView(row, column, scratch), m_cellFont,
                                     int(std::lround(m_widths[column])));
    return m_rowCache.emplace(row, std::move(layouts)).first->second;
}

int CSVTableView::measureRow(std::size_t row)
{
    int height = QFontMetrics(m_cellFont).lineSpacing();
    for (const auto &layout : rowLayouts(row)) {
        if (layout)
            height = std::max(height, layoutHeight(*layout));
    }
    return height + 2 * rowVerticalPadding;
}

void CSVTableView::paintBackground(QPainter &painter) { painter.fillRect(viewport()->rect(), palette().base()); }

void CSVTableView::paintRow(QPainter &painter, std::size_t row, const QRect &rect)
{
    RowLayouts &layouts = rowLayouts(row);
    const int left = -rect.left();
    const int right = left + viewport()->width();
    painter.setPen(palette().color(QPalette::Text));
    for (std::size_t column = 0; column < layouts.size(); ++column) {
        const int x = columnX(column);
        const int width = int(std::lround(m_widths[column]));
        if (x + width < left || x > right)
            continue;
        if (m_selected && m_selected->row == row && m_selected->column == column) {
            QColor highlight = palette().color(QPalette::Highlight);
            highlight.setAlphaF(0.25f);
            painter.fillRect(QRect(rect.left() + x - 3, rect.top(), width + 6, rect.height()), highlight);
        }
        if (!layouts[column] && column < m_table.cellCount(row)) {
            // A wide table's column scrolled into view: lay it out now and let the row grow.
            std::u16string scratch;
            layouts[column] = layoutCell(m_table.cellView(row, column, scratch), m_cellFont, width);
            const int needed = layoutHeight(*layouts[column]) + 2 * rowVerticalPadding;
            if (needed > m_heights.height(row)) {
                m_heights.setHeight(row, needed);
                viewport()->update();
            }
        }
        if (layouts[column])
            layouts[column]->draw(&painter, QPointF(rect.left() + x, rect.top() + rowVerticalPadding));
    }
}

void CSVTableView::paintOverlay(QPainter &painter)
{
    if (m_table.headerCount() == 0)
        return;
    // The header scrolls with the content until it reaches the top, then stays pinned there.
    const int top = std::max(0, padding - verticalScrollBar()->value());
    const QRect band(0, top, viewport()->width(), m_headerHeight);
    // The window colour at 0.6 over the view's own background, so rows scrolling underneath
    // do not show through the pinned header.
    painter.fillRect(band, palette().base());
    QColor window = palette().color(QPalette::Window);
    window.setAlphaF(0.6f);
    painter.fillRect(band, window);
    QColor rule = palette().color(QPalette::Text);
    rule.setAlphaF(0.12f);
    painter.fillRect(QRect(band.left(), band.bottom(), band.width(), 1), rule);
    painter.setPen(palette().color(QPalette::Text));
    const int shift = -horizontalOffset();
    for (std::size_t column = 0; column < m_headerLayouts.size(); ++column)
        m_headerLayouts[column]->draw(&painter, QPointF(shift + columnX(column), top + headerVerticalPadding));
}

void CSVTableView::paintEvent(QPaintEvent *event)
{
    if (m_table.headerCount() == 0) {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), palette().base());
        QColor color = palette().color(QPalette::Text);
        color.setAlphaF(0.55f);
        Internal::paintEmptyState(painter, viewport()->rect(), Internal::EmptyStateIcon::TableCells,
                                  viewerText(QStringLiteral("Empty CSV")), color);
        return;
    }
    RowScrollArea::paintEvent(event);
}

std::optional<CSVTableView::Cell> CSVTableView::cellAt(const QPoint &point)
{
    const int headerBottom = std::max(0, padding - verticalScrollBar()->value()) + m_headerHeight;
    if (point.y() < headerBottom)
        return std::nullopt;
    const auto row = rowAtViewportY(point.y());
    if (!row)
        return std::nullopt;
    const int x = point.x() + horizontalOffset();
    for (std::size_t column = 0; column < m_widths.size(); ++column) {
        if (x >= columnX(column) - cellSpacing / 2 && x < columnX(column + 1) - cellSpacing / 2)
            return Cell{*row, column};
    }
    return std::nullopt;
}

void CSVTableView::setSelectedCell(std::optional<Cell> cell)
{
    m_selected = cell;
    viewport()->update();
}

QString CSVTableView::selectedText() const
{
    if (!m_selected)
        return {};
    const std::u16string text = m_table.cell(m_selected->row, m_selected->column);
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

void CSVTableView::copySelection() const
{
    if (m_selected)
        QGuiApplication::clipboard()->setText(selectedText());
}

void CSVTableView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        setSelectedCell(cellAt(event->position().toPoint()));
    RowScrollArea::mousePressEvent(event);
}

void CSVTableView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    const int key = event->key();
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if (!arrow || m_table.rowCount() == 0 || m_widths.empty()) {
        RowScrollArea::keyPressEvent(event);
        return;
    }
    Cell cell = m_selected.value_or(Cell{});
    if (m_selected) {
        if (key == Qt::Key_Up && cell.row > 0)
            --cell.row;
        else if (key == Qt::Key_Down && cell.row + 1 < m_table.rowCount())
            ++cell.row;
        else if (key == Qt::Key_Left && cell.column > 0)
            --cell.column;
        else if (key == Qt::Key_Right && cell.column + 1 < m_widths.size())
            ++cell.column;
    }
    setSelectedCell(cell);
    ensureCellVisible(cell);
}

void CSVTableView::ensureCellVisible(const Cell &cell)
{
    // Rows scroll under the pinned header, so the visible band starts below it.
    if (cell.row < firstVisibleRow()) {
        scrollToRow(cell.row);
    } else {
        layoutVisibleRows();
        const int bottom = viewportYOfRow(cell.row) + m_heights.height(cell.row);
        if (bottom > viewport()->height())
            verticalScrollBar()->setValue(verticalScrollBar()->value() + bottom - viewport()->height());
    }
    const int top = viewportYOfRow(cell.row);
    if (top < m_headerHeight)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - (m_headerHeight - top));
    QScrollBar *horizontal = horizontalScrollBar();
    const int left = columnX(cell.column) - cellSpacing / 2;
    const int right = columnX(cell.column + 1) - cellSpacing / 2;
    if (left < horizontal->value())
        horizontal->setValue(left);
    else if (right > horizontal->value() + viewport()->width())
        horizontal->setValue(right - viewport()->width());
    viewport()->update();
}

void CSVTableView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_selected)
        return;
    QMenu menu(this);
    menu.addAction(viewerText(QStringLiteral("Copy")), this, &CSVTableView::copySelection);
    menu.exec(event->globalPos());
}

void CSVTableView::changeEvent(QEvent *event)
{
    RowScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange) {
        updateFonts();
        rebuildGeometry();
    } else if (event->type() == QEvent::PaletteChange) {
        viewport()->update();
    }
}

} // namespace Viewers
