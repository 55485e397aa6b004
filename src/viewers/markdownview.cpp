#include "markdownview.h"

#include "viewers/viewerpalette_p.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace Viewers {

namespace {

constexpr int listSpacing = 8;
constexpr int quoteBarWidth = 3;
constexpr int quoteSpacing = 10;
constexpr int codeInset = 12;
constexpr int codeOuterPadding = 6;

QString toQString(std::u16string_view text)
{
    QString out = QString::fromUtf16(text.data(), qsizetype(text.size()));
    out.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return out;
}

int verticalPaddingOf(const MDBlock &block)
{
    switch (block.kind) {
    case MDBlock::Kind::Heading: return MarkdownView::headingTopPadding(block.level) + 6;
    case MDBlock::Kind::Paragraph: return 8;
    case MDBlock::Kind::ListItem: return 4;
    case MDBlock::Kind::Code: return 2 * codeOuterPadding + 2 * codeInset;
    case MDBlock::Kind::Quote: return 8;
    case MDBlock::Kind::Rule: return 21;
    case MDBlock::Kind::Blank: return 6;
    }
    return 0;
}

} // namespace

int MarkdownView::headingSizeDelta(int level)
{
    static constexpr int deltas[] = {12, 8, 5, 3, 1, 1};
    return deltas[std::clamp(level, 1, 6) - 1];
}

int MarkdownView::headingTopPadding(int level) { return level <= 1 ? 4 : 14; }

MarkdownView::MarkdownView(QWidget *parent)
    : RowScrollArea(parent), m_theme(Highlighting::Theme::defaultTheme())
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    m_fontSize = QApplication::font().pointSizeF();
}

MarkdownView::~MarkdownView() = default;

void MarkdownView::setBlocks(MDBlockList blocks)
{
    m_blocks = std::move(blocks);
    relayout(Position::Keep);
    updateMatches();
}

void MarkdownView::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    // Colours are applied when drawing; the layouts only carry link colours.
    m_cache.clear();
    viewport()->update();
}

void MarkdownView::setFontSize(double points)
{
    m_fontSize = points;
    relayout(Position::Keep);
}

void MarkdownView::relayout(Position position)
{
    const bool keepPosition = position == Position::Keep;
    // A re-parse while the user reads keeps the same block at the same place.
    const std::size_t top = firstVisibleRow();
    const std::int64_t topOffset = firstVisibleRowOffset();
    m_cache.clear();
    // Estimates per block make the scroll bar meaningful before anything is measured; fonts
    // are measured once per kind and heading level, not once per block.
    FontEstimate byKind[7 + 6];
    bool known[7 + 6] = {};
    std::vector<int> estimates(m_blocks.size());
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
        // Only the kind, level and content are needed: the styled runs stay in the list.
        MDBlock block;
        block.kind = m_blocks.kind(i);
        block.level = m_blocks.level(i);
        block.content = m_blocks.content(i);
        const std::size_t slot = block.kind == MDBlock::Kind::Heading ? 7 + std::size_t(std::clamp(block.level, 1, 6)) - 1
                                                                      : std::size_t(block.kind);
        if (!known[slot]) {
            byKind[slot] = fontEstimate(block);
            known[slot] = true;
        }
        estimates[i] = estimateHeight(block, byKind[slot]);
    }
    resetRows(std::move(estimates));
    if (keepPosition && top < m_blocks.size())
        scrollToRow(top, topOffset);
    viewport()->update();
}

std::size_t MarkdownView::blockAtTop() const
{
    return firstVisibleRow();
}

std::int64_t MarkdownView::scrollSpan(std::size_t index)
{
    // Measured now, so that the fraction means the same before and after the block is shown.
    if (!m_heights.isMeasured(index))
        m_heights.setHeight(index, std::max(1, measureRow(index)));
    return m_heights.height(index) + (index == 0 ? topInset() : 0);
}

double MarkdownView::blockAtTopFraction() const
{
    const std::size_t top = firstVisibleRow();
    if (top >= m_heights.count())
        return 0;
    // Const: reads the height as it stands; scrollToBlock and painting measure the top block.
    const std::int64_t span = m_heights.height(top) + (top == 0 ? topInset() : 0);
    const std::int64_t offset = firstVisibleRowOffset() + (top == 0 ? topInset() : 0);
    return std::clamp(double(offset) / double(std::max<std::int64_t>(1, span)), 0.0, 1.0);
}

void MarkdownView::scrollToBlock(std::size_t index, double fraction)
{
    if (m_blocks.empty())
        return;
    index = std::min(index, m_blocks.size() - 1);
    fraction = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    const std::int64_t offset = std::int64_t(std::llround(fraction * double(scrollSpan(index))))
                                - (index == 0 ? topInset() : 0);
    // The row area moves its anchor without a user scroll, so topBlockChanged stays quiet.
    scrollToRow(index, offset);
}

void MarkdownView::scrollContentsBy(int dx, int dy)
{
    // The row area re-anchors only for a scroll that did not come from its own layout pass:
    // a change of the anchor across this call is a user's scroll.
    const std::size_t rowBefore = firstVisibleRow();
    const std::int64_t offsetBefore = firstVisibleRowOffset();
    RowScrollArea::scrollContentsBy(dx, dy);
    if (firstVisibleRow() == rowBefore && firstVisibleRowOffset() == offsetBefore)
        return;
    if (!m_blocks.empty())
        scrollSpan(firstVisibleRow());
    emit topBlockChanged(firstVisibleRow(), blockAtTopFraction());
}

void MarkdownView::viewportWidthChanged()
{
    m_cache.clear();
    remeasureRows();
}

QFont MarkdownView::blockFont(const MDBlock &block) const
{
    QFont font = QApplication::font();
    switch (block.kind) {
    case MDBlock::Kind::Heading:
        font.setPointSizeF(m_fontSize + headingSizeDelta(block.level));
        font.setWeight(QFont::DemiBold);
        break;
    case MDBlock::Kind::Code:
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(std::max(1.0, m_fontSize - 1));
        break;
    case MDBlock::Kind::Quote:
        font.setFamilies({QStringLiteral("serif")});
        font.setStyleHint(QFont::Serif);
        font.setItalic(true);
        font.setPointSizeF(m_fontSize);
        break;
    default:
        font.setPointSizeF(m_fontSize);
        break;
    }
    return font;
}

QFont MarkdownView::bulletFont() const
{
    // The default text font, but never below the usual 13-point editor size: desktop UI fonts
    // are often smaller, and a bullet much smaller than the text beside it looks lost. It does
    // not follow S.
    QFont font = QApplication::font();
    font.setPointSizeF(std::max(font.pointSizeF(), defaultBulletPointSize));
    return font;
}

int MarkdownView::textWidthFor(const MDBlock &block) const
{
    int width = viewport()->width() - 2 * horizontalPadding;
    if (block.kind == MDBlock::Kind::Code)
        width -= 2 * codeInset;
    else if (block.kind == MDBlock::Kind::Quote)
        width -= quoteBarWidth + quoteSpacing;
    else if (block.kind == MDBlock::Kind::ListItem)
        width -= QFontMetrics(bulletFont()).horizontalAdvance(QChar(0x2022)) + listSpacing;
    return std::max(40, width);
}

MarkdownView::FontEstimate MarkdownView::fontEstimate(const MDBlock &block) const
{
    const QFontMetrics metrics(blockFont(block));
    return {metrics.lineSpacing(), std::max(1.0, double(metrics.averageCharWidth()))};
}

int MarkdownView::estimateHeight(const MDBlock &block, const FontEstimate &estimate) const
{
    if (block.kind == MDBlock::Kind::Blank || block.kind == MDBlock::Kind::Rule)
        return verticalPaddingOf(block) + (block.kind == MDBlock::Kind::Rule ? 1 : 0);
    const int width = std::max(40, viewport()->width() - 2 * horizontalPadding - 24);
    const double characterWidth = estimate.characterWidth;
    std::size_t lines = 1;
    if (block.kind == MDBlock::Kind::Code) {
        lines = 1 + std::size_t(std::count(block.content.begin(), block.content.end(), u'\n'));
    } else {
        lines = std::max<std::size_t>(1, std::size_t(std::ceil(double(block.content.size()) * characterWidth / width)));
    }
    return verticalPaddingOf(block) + int(std::min<std::size_t>(lines, 1'000'000)) * estimate.lineSpacing;
}

MarkdownView::Element MarkdownView::buildElement(const MDBlock &block) const
{
    Element element;
    if (block.kind == MDBlock::Kind::Blank || block.kind == MDBlock::Kind::Rule) {
        element.height = verticalPaddingOf(block) + (block.kind == MDBlock::Kind::Rule ? 1 : 0);
        return element;
    }
    const QFont font = blockFont(block);
    QString text;
    QList<QTextLayout::FormatRange> formats;
    if (block.attributed && block.kind != MDBlock::Kind::Code) {
        const QColor link = m_theme.isDark() ? QColor(100, 170, 255) : QColor(10, 100, 210);
        QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        for (const InlineRun run : *block.attributed) {
            const QString piece = toQString(run.text);
            QTextCharFormat format;
            bool styled = false;
            if (run.strong) {
                format.setFontWeight(QFont::Bold);
                styled = true;
            }
            if (run.emphasis) {
                format.setFontItalic(true);
                styled = true;
            }
            if (run.code) {
                format.setFontFamilies(code.families());
                format.setFontFixedPitch(true);
                styled = true;
            }
            if (run.strikethrough) {
                format.setFontStrikeOut(true);
                styled = true;
            }
            if (run.link) {
                format.setForeground(link);
                format.setFontUnderline(true);
                styled = true;
                element.links.push_back({int(text.size()), int(piece.size()), toQString(*run.link)});
            }
            if (styled)
                formats.append({int(text.size()), int(piece.size()), format});
            text += piece;
        }
    } else {
        text = toQString(block.content);
    }

    element.text = std::make_unique<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    element.text->setTextOption(option);
    element.text->setFormats(formats);
    element.text->setCacheEnabled(true);
    const int width = textWidthFor(block);
    const qreal leading = QFontMetricsF(font).leading();
    qreal y = 0;
    element.text->beginLayout();
    for (QTextLine line = element.text->createLine(); line.isValid(); line = element.text->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height() + leading;
    }
    element.text->endLayout();
    element.textHeight = std::max(int(std::ceil(y)), QFontMetrics(font).height());
    element.height = element.textHeight + verticalPaddingOf(block);
    return element;
}

const MarkdownView::Element &MarkdownView::element(std::size_t index)
{
    if (auto it = m_cache.find(index); it != m_cache.end())
        return it->second;
    if (m_cache.size() > 3000)
        m_cache.clear();
    return m_cache.emplace(index, buildElement(m_blocks[index])).first->second;
}

int MarkdownView::measureRow(std::size_t row) { return element(row).height; }

void MarkdownView::paintBackground(QPainter &painter)
{
    painter.fillRect(viewport()->rect(), Highlighting::toQColor(m_theme.background()));
}

QPoint MarkdownView::textOrigin(const MDBlock &block) const
{
    switch (block.kind) {
    case MDBlock::Kind::Heading: return {horizontalPadding, headingTopPadding(block.level)};
    case MDBlock::Kind::Paragraph: return {horizontalPadding, 4};
    case MDBlock::Kind::ListItem:
        return {horizontalPadding + QFontMetrics(bulletFont()).horizontalAdvance(QChar(0x2022)) + listSpacing, 2};
    case MDBlock::Kind::Code: return {horizontalPadding + codeInset, codeOuterPadding + codeInset};
    case MDBlock::Kind::Quote: return {horizontalPadding + quoteBarWidth + quoteSpacing, 4};
    default: return {horizontalPadding, 0};
    }
}

std::optional<QString> MarkdownView::linkAt(const QPoint &point)
{
    layoutVisibleRows();
    const auto row = rowAtViewportY(point.y());
    if (!row)
        return std::nullopt;
    const Element &shown = element(*row);
    if (!shown.text || shown.links.empty())
        return std::nullopt;
    const QPointF local = QPointF(point) - QPointF(textOrigin(m_blocks[*row])) - QPointF(0, viewportYOfRow(*row));
    for (int i = 0; i < shown.text->lineCount(); ++i) {
        const QTextLine line = shown.text->lineAt(i);
        if (local.y() < line.y() || local.y() >= line.y() + line.height())
            continue;
        if (local.x() < line.x() || local.x() > line.x() + line.naturalTextWidth())
            return std::nullopt;
        const int position = line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
        for (const LinkRange &link : shown.links) {
            if (position >= link.start && position < link.start + link.length)
                return link.target;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void MarkdownView::mouseMoveEvent(QMouseEvent *event)
{
    viewport()->setCursor(linkAt(event->position().toPoint()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    RowScrollArea::mouseMoveEvent(event);
}

void MarkdownView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        if (const auto target = linkAt(event->position().toPoint())) {
            emit linkActivated(*target);
            if (m_opensLinks)
                QDesktopServices::openUrl(QUrl(*target));
            return;
        }
    }
    RowScrollArea::mouseReleaseEvent(event);
}

void MarkdownView::paintRow(QPainter &painter, std::size_t row, const QRect &rect)
{
    const MDBlock &block = m_blocks[row];
    const Element &shown = element(row);
    const QList<QTextLayout::FormatRange> marks = matchMarks(row);
    const QColor foreground = Highlighting::toQColor(m_theme.foreground());
    const int left = rect.left() + horizontalPadding;
    const int width = viewport()->width() - 2 * horizontalPadding;
    painter.save();
    switch (block.kind) {
    case MDBlock::Kind::Heading:
        painter.setPen(foreground);
        shown.text->draw(&painter, QPointF(left, rect.top() + headingTopPadding(block.level)), marks);
        break;
    case MDBlock::Kind::Paragraph:
        painter.setPen(Internal::withOpacity(foreground, 0.92));
        shown.text->draw(&painter, QPointF(left, rect.top() + 4), marks);
        break;
    case MDBlock::Kind::ListItem: {
        // The bullet sits on the first line's baseline.
        const QFont bullet = bulletFont();
        const QFontMetricsF bulletMetrics(bullet);
        qreal baseline = rect.top() + 2 + QFontMetricsF(blockFont(block)).ascent();
        if (shown.text->lineCount() > 0)
            baseline = rect.top() + 2 + shown.text->lineAt(0).y() + shown.text->lineAt(0).ascent();
        painter.setFont(bullet);
        painter.setPen(Internal::withOpacity(foreground, 0.6));
        painter.drawText(QPointF(left, baseline), QString(QChar(0x2022)));
        const qreal textLeft = left + bulletMetrics.horizontalAdvance(QChar(0x2022)) + listSpacing;
        painter.setPen(Internal::withOpacity(foreground, 0.92));
        shown.text->draw(&painter, QPointF(textLeft, rect.top() + 2), marks);
        break;
    }
    case MDBlock::Kind::Code: {
        const QRectF box(left, rect.top() + codeOuterPadding, width, shown.textHeight + 2 * codeInset);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(box, 6, 6);
        painter.fillPath(path, Internal::withOpacity(foreground, 0.08));
        painter.setPen(foreground);
        shown.text->draw(&painter, QPointF(left + codeInset, box.top() + codeInset), marks);
        break;
    }
    case MDBlock::Kind::Quote: {
        const int top = rect.top() + 4;
        painter.fillRect(QRect(left, top, quoteBarWidth, shown.textHeight), Internal::withOpacity(foreground, 0.35));
        painter.setPen(Internal::withOpacity(foreground, 0.75));
        shown.text->draw(&painter, QPointF(left + quoteBarWidth + quoteSpacing, top), marks);
        break;
    }
    case MDBlock::Kind::Rule:
        painter.fillRect(QRect(left, rect.top() + 10, width, 1), Internal::withOpacity(foreground, 0.15));
        break;
    case MDBlock::Kind::Blank:
        break;
    }
    painter.restore();
}

// ---- Find -------------------------------------------------------------------------------------

void MarkdownView::setSearch(TextMatcher matcher)
{
    m_search = std::move(matcher);
    updateMatches();
}

void MarkdownView::updateMatches()
{
    if (m_search.isEmpty() && m_matches.empty())
        return;
    const std::optional<MDTextMatch> kept = m_current ? std::optional(m_matches[*m_current]) : std::nullopt;
    m_matches = findText(m_blocks, m_search);
    m_current.reset();
    if (kept) {
        const auto it = std::lower_bound(m_matches.begin(), m_matches.end(), *kept);
        if (it != m_matches.end() && *it == *kept)
            m_current = std::size_t(it - m_matches.begin());
    }
    viewport()->update();
    emit searchChanged();
}

QList<QTextLayout::FormatRange> MarkdownView::matchMarks(std::size_t index) const
{
    QList<QTextLayout::FormatRange> marks;
    if (m_matches.empty())
        return marks;
    const auto byBlock = [](const MDTextMatch &match, std::uint32_t block) { return match.block < block; };
    auto it = std::lower_bound(m_matches.begin(), m_matches.end(), std::uint32_t(index), byBlock);
    QTextCharFormat match;
    match.setBackground(Internal::matchMark());
    QTextCharFormat current;
    current.setBackground(Internal::currentMatchMark());
    for (; it != m_matches.end() && it->block == index; ++it) {
        const bool isCurrent = m_current && std::size_t(it - m_matches.begin()) == *m_current;
        marks.append({int(it->offset), int(m_search.length()), isCurrent ? current : match});
    }
    return marks;
}

bool MarkdownView::findNext(SearchDirection direction, SearchStart start)
{
    if (m_matches.empty())
        return false;
    const bool forward = direction == SearchDirection::Forward;
    const std::size_t count = m_matches.size();
    std::size_t index = 0;
    if (m_current) {
        if (start == SearchStart::AtCurrent)
            index = *m_current;
        else
            index = forward ? (*m_current + 1) % count : (*m_current + count - 1) % count;
    } else {
        const MDTextMatch from = m_place.value_or(MDTextMatch{std::uint32_t(blockAtTop()), 0});
        const auto it = std::lower_bound(m_matches.begin(), m_matches.end(), from);
        const auto at = std::size_t(it - m_matches.begin());
        if (forward)
            index = at == count ? 0 : at;
        else
            index = at == 0 ? count - 1 : at - 1;
    }
    m_current = index;
    m_place = m_matches[index];
    scrollToCurrentMatch();
    viewport()->update();
    emit searchChanged();
    return true;
}

std::optional<QRectF> MarkdownView::currentMatchLine()
{
    if (!m_current)
        return std::nullopt;
    const MDTextMatch &match = m_matches[*m_current];
    if (match.block >= m_blocks.size())
        return std::nullopt;
    const Element &shown = element(match.block);
    if (!shown.text)
        return std::nullopt;
    const QTextLine line = shown.text->lineForTextPosition(int(match.offset));
    if (!line.isValid())
        return std::nullopt;
    const int end = std::min(int(match.offset + m_search.length()), line.textStart() + line.textLength());
    const qreal left = line.cursorToX(int(match.offset));
    const qreal right = line.cursorToX(end);
    const QPoint origin = textOrigin(m_blocks[match.block]);
    return QRectF(origin.x() + std::min(left, right), origin.y() + line.y(), std::abs(right - left), line.height());
}

QRect MarkdownView::currentMatchRect()
{
    const auto line = currentMatchLine();
    if (!line)
        return {};
    layoutVisibleRows();
    return line->translated(0, viewportYOfRow(m_matches[*m_current].block)).toAlignedRect();
}

void MarkdownView::scrollToCurrentMatch()
{
    const auto line = currentMatchLine();
    if (!line)
        return;
    const std::size_t block = m_matches[*m_current].block;
    // Measured now, so that the place of the line within the block is exact.
    scrollSpan(block);
    layoutVisibleRows();
    const int top = viewportYOfRow(block) + int(std::floor(line->top()));
    const int bottom = viewportYOfRow(block) + int(std::ceil(line->bottom()));
    if (top >= 0 && bottom <= viewport()->height())
        return;
    // A third of the way down, so that what leads up to the match shows too: the rows above are
    // measured on the way up, as the top row must be the first one painted.
    std::size_t row = block;
    std::int64_t offset = std::int64_t(std::floor(line->top())) - viewport()->height() / 3;
    while (offset < 0 && row > 0) {
        --row;
        if (!m_heights.isMeasured(row))
            m_heights.setHeight(row, std::max(1, measureRow(row)));
        offset += m_heights.height(row);
    }
    scrollToRow(row, std::max<std::int64_t>(offset, -topInset()));
    // A find moves the place as the user's own scrolling does: the source of a split follows.
    emit topBlockChanged(firstVisibleRow(), blockAtTopFraction());
}

} // namespace Viewers
