#include "jsontreeview.h"

#include "viewers/emptystate_p.h"
#include "viewers/viewerpalette_p.h"
#include "viewers/viewertext.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace Viewers {

namespace {

QString toQString(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// Summaries longer than this are drawn only around the part in view.
constexpr qsizetype longTextThreshold = 2000;

} // namespace

JSONTreeView::JSONTreeView(QWidget *parent)
    : QAbstractScrollArea(parent), m_theme(Highlighting::Theme::defaultTheme())
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setFontSize(QApplication::font().pointSizeF());
}

void JSONTreeView::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    viewport()->update();
}

void JSONTreeView::setFontSize(double points)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    setMonospacedFont(font);
}

void JSONTreeView::setMonospacedFont(const QFont &font)
{
    m_font = font;
    m_chevronFont = QApplication::font();
    m_chevronFont.setPointSizeF(9);
    m_chevronFont.setWeight(QFont::DemiBold);
    const QFontMetricsF metrics(m_font);
    m_rowHeight = int(std::ceil(metrics.height())) + 2 * rowVerticalPadding;
    m_advance = metrics.horizontalAdvance(QLatin1Char('0'));
    m_contentWidth = 0;
    updateScrollBars();
    viewport()->update();
}

void JSONTreeView::setResult(std::optional<JSONTreeResult> result)
{
    m_result = std::move(result);
    if (!m_result || !m_result->isOk()) {
        // Passing through an invalid result starts the expansion afresh.
        m_state.reset();
    } else if (m_state) {
        m_state->setRoot(m_result->root());
    } else {
        m_state.emplace(m_result->root());
    }
    rebuildRows();
    updateMatches();
}

void JSONTreeView::resetExpansion()
{
    m_state.reset();
    if (m_result && m_result->isOk())
        m_state.emplace(m_result->root());
    rebuildRows();
}

void JSONTreeView::rebuildRows()
{
    m_rows = m_state ? m_state->visibleRows() : JSONRowList{};
    m_textCache.clear();
    m_contentWidth = 0;
    if (m_selected && *m_selected >= m_rows.size())
        m_selected.reset();
    updateScrollBars();
    viewport()->update();
}

void JSONTreeView::toggle(std::u16string_view id)
{
    if (!m_state)
        return;
    m_state->toggle(id);
    rebuildRows();
}

void JSONTreeView::toggleRow(std::size_t row)
{
    if (row >= m_rows.size() || m_rows[row].node.childCount() == 0)
        return;
    const std::u16string id = m_rows[row].id();
    toggle(id);
}

const JSONTreeView::RowText &JSONTreeView::rowText(std::size_t row)
{
    if (auto it = m_textCache.find(row); it != m_textCache.end())
        return it->second;
    if (m_textCache.size() > 2000)
        m_textCache.clear();
    const FlatJSONRow &flat = m_rows[row];
    RowText text;
    if (const auto key = flat.node.key())
        text.key = toQString(*key);
    text.summary = toQString(flat.node.summary());
    return m_textCache.emplace(row, std::move(text)).first->second;
}

void JSONTreeView::updateScrollBars()
{
    const int height = viewport()->height();
    const qint64 total = 2 * padding + qint64(m_rows.size()) * m_rowHeight;
    verticalScrollBar()->setSingleStep(m_rowHeight);
    verticalScrollBar()->setPageStep(std::max(1, height));
    verticalScrollBar()->setRange(0, int(std::min<qint64>(std::max<qint64>(0, total - height), INT_MAX / 2)));
    horizontalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
    horizontalScrollBar()->setRange(0, std::max(0, m_contentWidth - viewport()->width()));
}

std::optional<std::size_t> JSONTreeView::rowAt(int viewportY) const
{
    const qint64 y = qint64(viewportY) + verticalScrollBar()->value() - padding;
    if (y < 0)
        return std::nullopt;
    const std::size_t row = std::size_t(y / m_rowHeight);
    if (row >= m_rows.size())
        return std::nullopt;
    return row;
}

void JSONTreeView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QColor background = Highlighting::toQColor(m_theme.background());
    const QColor foreground = Highlighting::toQColor(m_theme.foreground());
    painter.fillRect(viewport()->rect(), background);
    if (!m_result)
        return;
    if (!m_result->isOk()) {
        const QString title = viewerText(QStringLiteral("Invalid JSON: %@"))
                                  .replace(QLatin1String("%@"), toQString(m_result->message()));
        Internal::paintEmptyState(painter, viewport()->rect(), Internal::EmptyStateIcon::CurlyBraces, title,
                                  Internal::withOpacity(foreground, 0.6));
        return;
    }

    const Internal::StandardColors standard = Internal::StandardColors::forTheme(m_theme);
    auto summaryColor = [&](JSONNodeKind kind) {
        switch (kind) {
        case JSONNodeKind::Object:
        case JSONNodeKind::Array: return Internal::withOpacity(foreground, 0.5);
        case JSONNodeKind::String: return standard.green;
        case JSONNodeKind::Number: return standard.orange;
        case JSONNodeKind::Bool: return standard.purple;
        case JSONNodeKind::Null: return standard.grey;
        case JSONNodeKind::Truncated: return Internal::withOpacity(foreground, 0.3);
        }
        return foreground;
    };

    const QFontMetricsF metrics(m_font);
    const int scrollY = verticalScrollBar()->value();
    const int scrollX = horizontalScrollBar()->value();
    const int viewWidth = viewport()->width();
    const auto first = std::size_t(std::max<qint64>(0, (qint64(scrollY) - padding) / m_rowHeight));
    const qreal colonWidth = metrics.horizontalAdvance(QLatin1Char(':'));
    int widest = m_contentWidth;

    painter.setFont(m_font);
    for (std::size_t row = first; row < m_rows.size(); ++row) {
        const int top = padding + int(row) * m_rowHeight - scrollY;
        if (top >= viewport()->height())
            break;
        const FlatJSONRow flat = m_rows[row];
        const RowText &text = rowText(row);
        const bool selected = m_selected && *m_selected == row;
        if (selected)
            painter.fillRect(QRect(0, top, viewWidth, m_rowHeight), Internal::withOpacity(foreground, 0.1));
        // Only what findNodes searches is marked: member names and the values of scalars.
        const bool matched = !m_matches.empty() && m_matches.indexOf(flat.node).has_value();
        const QColor mark = selected ? Internal::currentMatchMark() : Internal::matchMark();

        qreal x = padding + qreal(flat.depth) * indentPerLevel - scrollX;
        const qreal baseline = top + rowVerticalPadding + metrics.ascent();
        if (flat.node.childCount() > 0) {
            // A chevron pointing down (expanded) or right (collapsed), drawn as two strokes.
            const bool expanded = m_state->isExpanded(flat.id());
            QPen pen(Internal::withOpacity(foreground, 0.5), 1.6);
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(pen);
            const QPointF centre(x + chevronWidth / 2.0, top + m_rowHeight / 2.0);
            const qreal s = 3.0;
            QPainterPath path;
            if (expanded) {
                path.moveTo(centre + QPointF(-s, -s / 2));
                path.lineTo(centre + QPointF(0, s / 2));
                path.lineTo(centre + QPointF(s, -s / 2));
            } else {
                path.moveTo(centre + QPointF(-s / 2, -s));
                path.lineTo(centre + QPointF(s / 2, 0));
                path.lineTo(centre + QPointF(-s / 2, s));
            }
            painter.drawPath(path);
            painter.restore();
        }
        x += chevronWidth + itemSpacing;

        if (flat.node.key()) {
            if (matched && flat.node.parent().kind() == JSONNodeKind::Object)
                paintMatchMarks(painter, text.key, x, top, mark);
            painter.setPen(Internal::withOpacity(foreground, 0.85));
            painter.drawText(QPointF(x, baseline), text.key);
            x += metrics.horizontalAdvance(text.key) + itemSpacing;
            painter.setPen(Internal::withOpacity(foreground, 0.5));
            painter.drawText(QPointF(x, baseline), QStringLiteral(":"));
            x += colonWidth + itemSpacing;
        }

        const QString &summary = text.summary;
        if (matched && !flat.node.hasChildList())
            paintMatchMarks(painter, summary, x, top, mark);
        painter.setPen(summaryColor(flat.node.kind()));
        qreal summaryWidth;
        if (summary.size() > longTextThreshold) {
            // The font is monospaced: draw only the characters that can be in view.
            summaryWidth = summary.size() * m_advance;
            const qsizetype from = std::clamp<qsizetype>(qsizetype((-x) / m_advance) - 8, 0, summary.size());
            const qsizetype count = qsizetype(viewWidth / m_advance) + 16;
            painter.drawText(QPointF(x + from * m_advance, baseline), summary.mid(from, count));
        } else {
            summaryWidth = metrics.horizontalAdvance(summary);
            painter.drawText(QPointF(x, baseline), summary);
        }
        widest = std::max(widest, int(std::ceil(x + scrollX + summaryWidth)) + padding);
    }
    if (widest != m_contentWidth) {
        m_contentWidth = widest;
        horizontalScrollBar()->setRange(0, std::max(0, m_contentWidth - viewWidth));
    }
}

void JSONTreeView::paintMatchMarks(QPainter &painter, const QString &text, qreal x, int top, QColor color) const
{
    const QFontMetricsF metrics(m_font);
    const bool monospacedRun = text.size() > longTextThreshold;
    const auto advance = [&](qsizetype from, qsizetype length) {
        return monospacedRun ? qreal(length) * m_advance : metrics.horizontalAdvance(text.mid(from, length));
    };
    const qsizetype length = qsizetype(m_search.length());
    const qreal right = viewport()->width();
    m_search.forEach(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())),
                     [&](std::size_t offset) {
                         const qreal left = x + advance(0, qsizetype(offset));
                         if (left > right)
                             return;
                         painter.fillRect(QRectF(left, top, advance(qsizetype(offset), length), m_rowHeight), color);
                     });
}

void JSONTreeView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void JSONTreeView::scrollContentsBy(int, int) { viewport()->update(); }

void JSONTreeView::setSelectedRow(std::optional<std::size_t> row)
{
    m_selected = row && *row < m_rows.size() ? row : std::nullopt;
    if (m_selected) {
        // Keep the selected row in view.
        const int top = padding + int(*m_selected) * m_rowHeight;
        QScrollBar *bar = verticalScrollBar();
        if (top < bar->value())
            bar->setValue(top);
        else if (top + m_rowHeight > bar->value() + viewport()->height())
            bar->setValue(top + m_rowHeight - viewport()->height());
    }
    viewport()->update();
    if (!m_search.isEmpty())
        emit searchChanged();
}

void JSONTreeView::copySelection() const
{
    if (!m_selected)
        return;
    const std::u16string summary = m_rows[*m_selected].node.summary();
    QGuiApplication::clipboard()->setText(toQString(summary));
}

void JSONTreeView::mousePressEvent(QMouseEvent *event)
{
    const auto row = rowAt(int(event->position().y()));
    if (!row) {
        setSelectedRow(std::nullopt);
        return;
    }
    const qreal chevronLeft = padding + qreal(m_rows.depth(*row)) * indentPerLevel - horizontalScrollBar()->value();
    const qreal x = event->position().x();
    if (event->button() == Qt::LeftButton && x >= chevronLeft - 2 && x < chevronLeft + chevronWidth + 2
        && m_rows[*row].node.childCount() > 0) {
        setSelectedRow(row);
        toggleRow(*row);
        return;
    }
    setSelectedRow(row);
}

void JSONTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const auto row = rowAt(int(event->position().y()));
    const qreal chevronLeft = row ? padding + qreal(m_rows.depth(*row)) * indentPerLevel - horizontalScrollBar()->value() : 0;
    // A double click on the chevron is two toggles already; elsewhere on the row it toggles once.
    if (row && event->button() == Qt::LeftButton && event->position().x() >= chevronLeft + chevronWidth + 2)
        toggleRow(*row);
}

void JSONTreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    if (m_rows.empty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const std::size_t current = m_selected.value_or(0);
    switch (event->key()) {
    case Qt::Key_Down:
        setSelectedRow(m_selected ? std::min(current + 1, m_rows.size() - 1) : 0);
        return;
    case Qt::Key_Up:
        setSelectedRow(current > 0 ? current - 1 : 0);
        return;
    case Qt::Key_Right:
        if (m_selected && m_rows[current].node.childCount() > 0 && !isExpanded(m_rows[current].id()))
            toggleRow(current);
        return;
    case Qt::Key_Left:
        if (m_selected && m_rows[current].node.childCount() > 0 && isExpanded(m_rows[current].id()))
            toggleRow(current);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (m_selected)
            toggleRow(current);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

// ---- Find -------------------------------------------------------------------------------------

void JSONTreeView::setSearch(TextMatcher matcher)
{
    m_search = std::move(matcher);
    updateMatches();
}

void JSONTreeView::updateMatches()
{
    if (m_search.isEmpty() && m_matches.empty())
        return;
    m_matches = m_result && m_result->isOk() ? findNodes(m_result->root(), m_search) : JSONTreeMatches();
    viewport()->update();
    emit searchChanged();
}

std::size_t JSONTreeView::currentMatchNumber() const
{
    if (!m_selected || *m_selected >= m_rows.size() || m_matches.empty())
        return 0;
    const auto index = m_matches.indexOf(m_rows[*m_selected].node);
    return index ? *index + 1 : 0;
}

bool JSONTreeView::findNext(SearchDirection direction, SearchStart start)
{
    if (m_matches.empty() || !m_state)
        return false;
    const bool forward = direction == SearchDirection::Forward;
    const std::size_t count = m_matches.size();
    std::size_t index = forward ? 0 : count - 1;
    if (m_selected && *m_selected < m_rows.size()) {
        const JSONNode node = m_rows[*m_selected].node;
        if (const auto current = m_matches.indexOf(node)) {
            if (start == SearchStart::AtCurrent)
                index = *current;
            else
                index = forward ? (*current + 1) % count : (*current + count - 1) % count;
        } else {
            // The selected row is no match: the nearest match on either side of it in the rows
            // of the fully expanded tree.
            const std::size_t row = fullyExpandedRow(node);
            std::size_t low = 0;
            std::size_t high = count;
            while (low < high) {
                const std::size_t middle = low + (high - low) / 2;
                if (m_matches.fullyExpandedRow(middle) < row)
                    low = middle + 1;
                else
                    high = middle;
            }
            if (forward)
                index = low == count ? 0 : low;
            else
                index = low == 0 ? count - 1 : low - 1;
        }
    }
    const JSONNode match = m_matches[index];
    m_state->expandAncestors(match);
    rebuildRows();
    const auto row = m_rows.rowOf(match);
    if (!row)
        return false;
    // The row's start (its chevron and key) comes into view across as well.
    const int left = padding + int(m_rows.depth(*row)) * indentPerLevel;
    QScrollBar *across = horizontalScrollBar();
    if (left < across->value() || left > across->value() + viewport()->width() - 4 * indentPerLevel)
        across->setValue(std::max(0, left - 2 * indentPerLevel));
    setSelectedRow(row);
    return true;
}

void JSONTreeView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    if (!m_state && m_result && m_result->isOk()) {
        m_state.emplace(m_result->root());
        rebuildRows();
    }
}

void JSONTreeView::hideEvent(QHideEvent *event)
{
    QAbstractScrollArea::hideEvent(event);
    // Leaving the tree view (not a minimised window) starts the expansion afresh.
    if (!event->spontaneous()) {
        m_state.reset();
        m_rows = JSONRowList{};
        m_textCache.clear();
        m_selected.reset();
    }
}

} // namespace Viewers
