#include "csvtableview.h"

#include "viewers/emptystate_p.h"
#include "viewers/viewerpalette_p.h"
#include "viewers/viewertext.h"

#include "base/message.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
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

int naturalWidth(const QTextLayout &layout)
{
    qreal width = 0;
    for (int i = 0; i < layout.lineCount(); ++i)
        width = std::max(width, layout.lineAt(i).naturalTextWidth());
    return int(std::ceil(width));
}

// A format key looked up through the views' string table, its %d / %lld filled in order.
QString formatted(const char *key, std::vector<Base::Message::Argument> arguments)
{
    const std::string format = viewerText(QString::fromUtf8(key)).toStdString();
    return QString::fromStdString(Base::formatMessage(format, arguments));
}

constexpr int sortArrowWidth = 7;
constexpr int sortArrowHeight = 4;

} // namespace

CSVTableView::CSVTableView(QWidget *parent) : RowScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    updateFonts();
    rebuildGeometry();
}

CSVTableView::~CSVTableView() = default;

void CSVTableView::setMonospacedFont(const QFont &font)
{
    m_bodyFont = font;
    updateFonts();
    rebuildGeometry();
}

void CSVTableView::updateFonts()
{
    if (m_bodyFont) {
        m_cellFont = *m_bodyFont;
    } else {
        m_cellFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        m_cellFont.setPointSizeF(QApplication::font().pointSizeF());
    }
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
    const std::size_t raggedBefore = m_ragged.size();
    m_table = std::move(table);
    if (m_selected
        && ((m_selected->row != Cell::headerRow && m_selected->row >= m_table.rowCount())
            || m_selected->column >= m_table.columnCount()))
        m_selected.reset();
    m_ragged = m_table.raggedRows();
    bool sortDropped = false;
    if (m_sortColumn && *m_sortColumn >= m_table.columnCount()) {
        m_sortColumn.reset();
        sortDropped = true;
    }
    applySort();
    updateMatches();
    rebuildGeometry();
    if (top < m_table.rowCount())
        scrollToRow(top, topOffset);
    horizontalScrollBar()->setValue(left);
    if (sortDropped)
        emit sortChanged();
    if (m_ragged.size() != raggedBefore)
        emit raggedRowCountChanged(qsizetype(m_ragged.size()));
}

void CSVTableView::applySort()
{
    m_order.clear();
    m_positions.clear();
    if (!m_sortColumn)
        return;
    m_order = sortedRowOrder(m_table, *m_sortColumn, m_sortOrder);
    m_positions.resize(m_order.size());
    for (std::size_t position = 0; position < m_order.size(); ++position)
        m_positions[m_order[position]] = std::uint32_t(position);
}

void CSVTableView::setSort(std::optional<std::size_t> column, CSVSortOrder order)
{
    if (column && *column >= m_table.columnCount())
        column.reset();
    if (column == m_sortColumn && (!column || order == m_sortOrder))
        return;
    const std::size_t topRow = m_table.rowCount() ? rowAt(std::min(firstVisibleRow(), m_table.rowCount() - 1)) : 0;
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
    updateMatches();
    // Heights belong to display positions, so they are measured again; the layouts stay.
    resetRows(m_table.rowCount(), QFontMetrics(m_cellFont).lineSpacing() + 2 * rowVerticalPadding);
    if (m_selected)
        ensureCellVisible(*m_selected);
    else if (topRow < m_table.rowCount() && !m_sortColumn)
        scrollToRow(positionOf(topRow));
    viewport()->update();
    emit sortChanged();
}

QString CSVTableView::raggedRowToolTip(std::size_t row) const
{
    return formatted("Row %d has %d cells; the header has %d",
                     {std::int64_t(row + 1), std::int64_t(m_table.cellCount(row)),
                      std::int64_t(m_table.headerCount())});
}

QString CSVTableView::raggedRowsNote(std::size_t count)
{
    if (count == 0)
        return {};
    if (count == 1)
        return viewerText(QStringLiteral("1 ragged row"));
    return formatted("%lld ragged rows", {std::int64_t(count)});
}

QColor CSVTableView::raggedTint() const
{
    // Amber, a lighter shade on dark backgrounds.
    const bool dark = palette().color(QPalette::Base).lightnessF() < 0.5;
    QColor tint = dark ? QColor(0xF2, 0xB1, 0x3C) : QColor(0xE8, 0x9A, 0x0C);
    tint.setAlphaF(0.13f);
    return tint;
}

void CSVTableView::rebuildGeometry()
{
    m_widths = Viewers::columnWidths(m_table);
    // The widths are measured for text at the default size; larger text needs wider columns.
    if (m_bodyFont && m_bodyFont->pointSizeF() > 0)
        for (double &width : m_widths)
            width *= m_bodyFont->pointSizeF() / widthReferencePointSize;
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
    m_headerTextWidths.clear();
    const int lineHeight = QFontMetrics(m_cellFont).lineSpacing();
    int headerText = QFontMetrics(m_headerFont).lineSpacing();
    std::u16string scratch;
    for (std::size_t i = 0; i < m_widths.size(); ++i) {
        auto layout = layoutCell(m_table.headerView(i, scratch), m_headerFont, int(std::lround(m_widths[i])));
        headerText = std::max(headerText, layoutHeight(*layout));
        m_headerTextWidths.push_back(naturalWidth(*layout));
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

int CSVTableView::measureRow(std::size_t position)
{
    int height = QFontMetrics(m_cellFont).lineSpacing();
    for (const auto &layout : rowLayouts(rowAt(position))) {
        if (layout)
            height = std::max(height, layoutHeight(*layout));
    }
    return height + 2 * rowVerticalPadding;
}

void CSVTableView::paintBackground(QPainter &painter) { painter.fillRect(viewport()->rect(), palette().base()); }

void CSVTableView::paintRow(QPainter &painter, std::size_t position, const QRect &rect)
{
    const std::size_t row = rowAt(position);
    RowLayouts &layouts = rowLayouts(row);
    const int left = -rect.left();
    const int right = left + viewport()->width();
    if (isRagged(row)) {
        // Across the whole row, and a stronger mark in the left padding.
        painter.fillRect(QRect(0, rect.top(), viewport()->width(), rect.height()), raggedTint());
        QColor mark = raggedTint();
        mark.setAlphaF(0.8f);
        painter.fillRect(QRect(rect.left() + 3, rect.top() + 1, 3, rect.height() - 2), mark);
    }
    painter.setPen(palette().color(QPalette::Text));
    for (std::size_t column = 0; column < layouts.size(); ++column) {
        const int x = columnX(column);
        const int width = int(std::lround(m_widths[column]));
        if (x + width < left || x > right)
            continue;
        const bool selected = m_selected && m_selected->row == row && m_selected->column == column;
        if (selected) {
            QColor highlight = palette().color(QPalette::Highlight);
            highlight.setAlphaF(0.25f);
            painter.fillRect(QRect(rect.left() + x - 3, rect.top(), width + 6, rect.height()), highlight);
        }
        if (!layouts[column] && column < m_table.cellCount(row)) {
            // A wide table's column scrolled into view: lay it out now and let the row grow.
            std::u16string scratch;
            layouts[column] = layoutCell(m_table.cellView(row, column, scratch), m_cellFont, width);
            const int needed = layoutHeight(*layouts[column]) + 2 * rowVerticalPadding;
            if (needed > m_heights.height(position)) {
                m_heights.setHeight(position, needed);
                viewport()->update();
            }
        }
        if (layouts[column]) {
            const auto marks = isMatch(row, column) ? matchMarks(*layouts[column], selected)
                                                    : QList<QTextLayout::FormatRange>();
            layouts[column]->draw(&painter, QPointF(rect.left() + x, rect.top() + rowVerticalPadding), marks);
        }
    }
}

int CSVTableView::headerTop() const
{
    // The header scrolls with the content until it reaches the top, then stays pinned there.
    return std::max(0, padding - verticalScrollBar()->value());
}

QRect CSVTableView::headerCellRect(std::size_t column) const
{
    if (column >= m_widths.size() || m_table.headerCount() == 0)
        return {};
    const int left = columnX(column) - cellSpacing / 2 - horizontalOffset();
    const int right = columnX(column + 1) - cellSpacing / 2 - horizontalOffset();
    return QRect(left, headerTop(), right - left, m_headerHeight);
}

std::optional<std::size_t> CSVTableView::headerColumnAt(const QPoint &point) const
{
    for (std::size_t column = 0; column < m_widths.size(); ++column) {
        if (headerCellRect(column).contains(point))
            return column;
    }
    return std::nullopt;
}

void CSVTableView::paintOverlay(QPainter &painter)
{
    if (m_table.headerCount() == 0)
        return;
    const int top = headerTop();
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
    for (std::size_t column = 0; column < m_headerLayouts.size(); ++column) {
        const bool selected = m_selected && m_selected->row == Cell::headerRow && m_selected->column == column;
        if (selected) {
            QColor highlight = palette().color(QPalette::Highlight);
            highlight.setAlphaF(0.25f);
            const int width = int(std::lround(m_widths[column]));
            painter.fillRect(QRect(shift + columnX(column) - 3, top, width + 6, m_headerHeight), highlight);
        }
        const auto marks = isMatch(Cell::headerRow, column) ? matchMarks(*m_headerLayouts[column], selected)
                                                             : QList<QTextLayout::FormatRange>();
        m_headerLayouts[column]->draw(&painter, QPointF(shift + columnX(column), top + headerVerticalPadding), marks);
    }
    if (m_sortColumn && *m_sortColumn < m_headerLayouts.size()) {
        // A small triangle after the header text (inside the column), pointing up when
        // ascending.
        const std::size_t column = *m_sortColumn;
        const int width = int(std::lround(m_widths[column]));
        const int x = shift + columnX(column)
                      + std::min(m_headerTextWidths[column] + 6, std::max(0, width - sortArrowWidth));
        const qreal middle = top + headerVerticalPadding + QFontMetricsF(m_headerFont).ascent() * 0.6;
        const qreal half = sortArrowHeight / 2.0;
        const bool up = m_sortOrder == CSVSortOrder::Ascending;
        const QPointF points[3] = {
            QPointF(x, up ? middle + half : middle - half),
            QPointF(x + sortArrowWidth, up ? middle + half : middle - half),
            QPointF(x + sortArrowWidth / 2.0, up ? middle - half : middle + half),
        };
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        QColor arrow = palette().color(QPalette::Text);
        arrow.setAlphaF(0.75f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(arrow);
        painter.drawPolygon(points, 3);
        painter.restore();
    }
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
    const auto position = rowAtViewportY(point.y());
    if (!position)
        return std::nullopt;
    const int x = point.x() + horizontalOffset();
    for (std::size_t column = 0; column < m_widths.size(); ++column) {
        if (x >= columnX(column) - cellSpacing / 2 && x < columnX(column + 1) - cellSpacing / 2)
            return Cell{rowAt(*position), column};
    }
    return std::nullopt;
}

void CSVTableView::setSelectedCell(std::optional<Cell> cell)
{
    m_selected = cell;
    viewport()->update();
    if (!m_search.isEmpty())
        emit searchChanged();
}

QString CSVTableView::selectedText() const
{
    if (!m_selected)
        return {};
    const std::u16string text = m_selected->row == Cell::headerRow ? m_table.header(m_selected->column)
                                                                    : m_table.cell(m_selected->row, m_selected->column);
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

void CSVTableView::copySelection() const
{
    if (m_selected)
        QGuiApplication::clipboard()->setText(selectedText());
}

void CSVTableView::mousePressEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton && point.y() < headerTop() + m_headerHeight && point.y() >= headerTop()) {
        // A header click cycles its column: ascending, descending, document order.
        if (const auto column = headerColumnAt(point)) {
            if (m_sortColumn != column)
                setSort(column, CSVSortOrder::Ascending);
            else if (m_sortOrder == CSVSortOrder::Ascending)
                setSort(column, CSVSortOrder::Descending);
            else
                setSort(std::nullopt);
        }
        event->accept();
        return;
    }
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
    // Up and down move through the rows as shown, sorted or not; down from the header (which
    // only a find selects) to the first row.
    Cell cell = m_selected.value_or(Cell{rowAt(0), 0});
    if (m_selected && cell.row == Cell::headerRow) {
        if (key == Qt::Key_Down)
            cell.row = rowAt(0);
        else if (key == Qt::Key_Left && cell.column > 0)
            --cell.column;
        else if (key == Qt::Key_Right && cell.column + 1 < m_widths.size())
            ++cell.column;
    } else if (m_selected) {
        const std::size_t position = positionOf(cell.row);
        if (key == Qt::Key_Up && position > 0)
            cell.row = rowAt(position - 1);
        else if (key == Qt::Key_Down && position + 1 < m_table.rowCount())
            cell.row = rowAt(position + 1);
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
    // The header is pinned: only its column may need scrolling to.
    if (cell.row == Cell::headerRow) {
        QScrollBar *horizontal = horizontalScrollBar();
        const int left = columnX(cell.column) - cellSpacing / 2;
        const int right = columnX(cell.column + 1) - cellSpacing / 2;
        if (left < horizontal->value())
            horizontal->setValue(left);
        else if (right > horizontal->value() + viewport()->width())
            horizontal->setValue(right - viewport()->width());
        viewport()->update();
        return;
    }
    // Rows scroll under the pinned header, so the visible band starts below it.
    const std::size_t position = positionOf(cell.row);
    if (position < firstVisibleRow()) {
        scrollToRow(position);
    } else {
        layoutVisibleRows();
        const int bottom = viewportYOfRow(position) + m_heights.height(position);
        if (bottom > viewport()->height())
            verticalScrollBar()->setValue(verticalScrollBar()->value() + bottom - viewport()->height());
    }
    const int top = viewportYOfRow(position);
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

// ---- Find -------------------------------------------------------------------------------------

void CSVTableView::setSearch(TextMatcher matcher)
{
    m_search = std::move(matcher);
    updateMatches();
}

void CSVTableView::updateMatches()
{
    if (m_search.isEmpty() && m_matches.empty())
        return;
    m_matches = findCells(m_table, m_search, m_order);
    viewport()->update();
    emit searchChanged();
}

std::uint64_t CSVTableView::shownOrder(std::size_t row, std::size_t column) const
{
    const std::uint64_t shownRow = row == Cell::headerRow ? 0 : std::uint64_t(positionOf(row)) + 1;
    return shownRow << 32 | std::uint32_t(column);
}

std::uint64_t CSVTableView::shownOrder(const CSVCellMatch &match) const
{
    return shownOrder(match.row == CSVCellMatch::headerRow ? Cell::headerRow : match.row, match.column);
}

std::vector<CSVCellMatch>::const_iterator CSVTableView::firstMatchFrom(std::uint64_t order) const
{
    return std::partition_point(m_matches.begin(), m_matches.end(),
                                [&](const CSVCellMatch &match) { return shownOrder(match) < order; });
}

bool CSVTableView::isMatch(std::size_t row, std::size_t column) const
{
    if (m_matches.empty())
        return false;
    const std::uint64_t order = shownOrder(row, column);
    const auto it = firstMatchFrom(order);
    return it != m_matches.end() && shownOrder(*it) == order;
}

QList<QTextLayout::FormatRange> CSVTableView::matchMarks(const QTextLayout &layout, bool current) const
{
    QList<QTextLayout::FormatRange> marks;
    const QString text = layout.text();
    QTextCharFormat format;
    format.setBackground(current ? Internal::currentMatchMark() : Internal::matchMark());
    // The needle holds no line break, so the shown text (line separators, cut long cells) has
    // the cell's occurrences at offsets of its own.
    m_search.forEach(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())),
                     [&](std::size_t offset) { marks.append({int(offset), int(m_search.length()), format}); });
    return marks;
}

std::size_t CSVTableView::currentMatchNumber() const
{
    if (!m_selected || m_matches.empty())
        return 0;
    const std::uint64_t order = shownOrder(m_selected->row, m_selected->column);
    const auto it = firstMatchFrom(order);
    if (it == m_matches.end() || shownOrder(*it) != order)
        return 0;
    return std::size_t(it - m_matches.begin()) + 1;
}

bool CSVTableView::findNext(SearchDirection direction, SearchStart start)
{
    if (m_matches.empty())
        return false;
    std::size_t index = direction == SearchDirection::Forward ? 0 : m_matches.size() - 1;
    if (m_selected) {
        const std::uint64_t order = shownOrder(m_selected->row, m_selected->column);
        const auto from = firstMatchFrom(order);
        const bool atSelection = from != m_matches.end() && shownOrder(*from) == order;
        if (direction == SearchDirection::Forward) {
            auto next = atSelection && start == SearchStart::AfterCurrent ? from + 1 : from;
            index = next == m_matches.end() ? 0 : std::size_t(next - m_matches.begin());
        } else if (atSelection && start == SearchStart::AtCurrent) {
            index = std::size_t(from - m_matches.begin());
        } else {
            index = from == m_matches.begin() ? m_matches.size() - 1 : std::size_t(from - m_matches.begin()) - 1;
        }
    }
    const CSVCellMatch &match = m_matches[index];
    const Cell cell{match.row == CSVCellMatch::headerRow ? Cell::headerRow : match.row, match.column};
    m_selected = cell;
    ensureCellVisible(cell);
    emit searchChanged();
    return true;
}

void CSVTableView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_selected)
        return;
    QMenu menu(this);
    menu.addAction(viewerText(QStringLiteral("Copy")), this, &CSVTableView::copySelection);
    menu.exec(event->globalPos());
}

bool CSVTableView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint point = help->pos();
        const auto position = point.y() >= headerTop() + m_headerHeight ? rowAtViewportY(point.y()) : std::nullopt;
        if (position && isRagged(rowAt(*position)))
            QToolTip::showText(help->globalPos(), raggedRowToolTip(rowAt(*position)), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return RowScrollArea::viewportEvent(event);
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
