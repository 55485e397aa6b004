#include "stextview.h"

#include "stfindbar_p.h"
#include "stgutterview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>

using TextView::DeleteAction;
using TextView::TextRange;

namespace {

constexpr std::size_t GraphemeWindow = 256;
constexpr std::size_t WordScanLimit = 4096;

bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool isWordUnit(char16_t c)
{
    return QChar(c).isLetterOrNumber() || c == u'_' || QChar::isSurrogate(c) || QChar(c).isMark();
}

char16_t foldUnit(char16_t c)
{
    if (QChar::isSurrogate(c))
        return c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

std::u16string normalizedLineBreaks(const QString &text)
{
    std::u16string out;
    out.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Text finder

bool STTextFinder::validateAction(int action) const
{
    switch (action) {
    case ShowFindInterface:
    case ShowReplaceInterface:
    case HideFindInterface:
        return true;
    case NextMatch:
    case PreviousMatch:
        return !m_view->searchString().isEmpty();
    default:
        return false;
    }
}

void STTextFinder::performAction(int action)
{
    switch (action) {
    case ShowFindInterface:
        m_view->showFindBar(false);
        break;
    case ShowReplaceInterface:
        m_view->showFindBar(true);
        break;
    case HideFindInterface:
        m_view->hideFindBar();
        break;
    case NextMatch:
    case PreviousMatch:
        if (m_view->m_matches.empty() && !m_view->m_needle.isEmpty())
            m_view->recomputeMatches();
        m_view->findNext(action == NextMatch);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Construction and properties

STTextView::STTextView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_storage.setObserver(this);
    m_caretTimer.setInterval(std::max(QApplication::cursorFlashTime() / 2, 100));
    connect(&m_caretTimer, &QTimer::timeout, this, [this] {
        m_caretVisible = !m_caretVisible;
        viewport()->update(caretRect().adjusted(-2, 0, 2, 0));
    });
    m_autoScrollTimer.setInterval(40);
    connect(&m_autoScrollTimer, &QTimer::timeout, this, &STTextView::autoScrollTick);
    updateMetrics();
    updateWrapColumns();
    updateScrollBars();
}

STTextView::~STTextView()
{
    m_storage.setObserver(nullptr);
}

STTextView *STTextView::scrollableTextView(QWidget *parent)
{
    return new STTextView(parent);
}

void STTextView::setText(Base::U16Buffer &&text)
{
    m_typingAttributes = {};
    const std::size_t former = std::min(m_anchor, m_caret);
    m_preedit.clear();
    m_storage.setText(std::move(text));
    m_anchor = m_caret = std::min(former, m_storage.length());
    setSelection(m_anchor, m_caret);
    notifySelectionChanged();
}

void STTextView::setText(std::u16string_view text)
{
    Base::U16Buffer buffer(text.size() + 4096);
    buffer.append(text.data(), text.size());
    setText(std::move(buffer));
}

void STTextView::setAttributedText(STAttributedText &&content)
{
    std::vector<std::uint8_t> classes = std::move(content.classes);
    std::vector<TextView::Decoration> decorations = std::move(content.decorations);
    setText(std::move(content.text));
    m_storage.beginEditing();
    if (!classes.empty())
        m_storage.setClasses(0, classes.data(), std::min(classes.size(), m_storage.length()));
    for (const TextView::Decoration &d : decorations)
        m_storage.addDecoration(d);
    m_storage.endEditing();
}

STAttributedText STTextView::attributedText() const
{
    STAttributedText out;
    out.text.resize(m_storage.length());
    m_storage.copy(0, m_storage.length(), out.text.data());
    if (m_storage.hasClasses()) {
        out.classes.resize(m_storage.length());
        m_storage.copyClasses(0, m_storage.length(), out.classes.data());
    }
    out.decorations = m_storage.decorations();
    return out;
}

std::u16string STTextView::text() const
{
    return m_storage.text();
}

QString STTextView::plainText() const
{
    QString out(qsizetype(m_storage.length()), Qt::Uninitialized);
    m_storage.copy(0, m_storage.length(), reinterpret_cast<char16_t *>(out.data()));
    return out;
}

void STTextView::setSyntaxPalette(const std::vector<QColor> &palette)
{
    m_palette = palette;
    m_layouts.clear();
    viewport()->update();
}

QColor STTextView::syntaxColor(std::uint8_t syntaxClass) const
{
    if (syntaxClass == 0 || syntaxClass >= m_palette.size() || !m_palette[syntaxClass].isValid())
        return m_textColor;
    return m_palette[syntaxClass];
}

void STTextView::setTextColor(const QColor &color)
{
    m_textColor = color;
    applyFindBarColors();
    m_layouts.clear();
    viewport()->update();
}

void STTextView::applyFindBarColors()
{
    // Scroll bars: a quiet groove in the background colour and a handle between text and background.
    const auto mix = [](const QColor &a, const QColor &b, float t) {
        return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t, a.greenF() * (1 - t) + b.greenF() * t,
                                a.blueF() * (1 - t) + b.blueF() * t);
    };
    for (QScrollBar *bar : {verticalScrollBar(), horizontalScrollBar()}) {
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, mix(m_backgroundColor, m_textColor, 0.04f));
        palette.setColor(QPalette::Base, m_backgroundColor);
        palette.setColor(QPalette::Button, mix(m_backgroundColor, m_textColor, 0.25f));
        palette.setColor(QPalette::Dark, mix(m_backgroundColor, m_textColor, 0.35f));
        palette.setColor(QPalette::Shadow, mix(m_backgroundColor, m_textColor, 0.35f));
        palette.setColor(QPalette::Light, mix(m_backgroundColor, m_textColor, 0.3f));
        palette.setColor(QPalette::ButtonText, m_textColor);
        bar->setPalette(palette);
    }
    if (!m_findBar)
        return;
    // The bar takes the view's colours, slightly offset, so that it belongs to the theme.
    const bool dark = m_backgroundColor.lightnessF() < 0.5;
    QPalette palette = m_findBar->palette();
    const QColor bar = dark ? m_backgroundColor.lighter(135) : m_backgroundColor.darker(106);
    palette.setColor(QPalette::Window, bar);
    palette.setColor(QPalette::WindowText, m_textColor);
    palette.setColor(QPalette::Base, m_backgroundColor);
    palette.setColor(QPalette::Text, m_textColor);
    palette.setColor(QPalette::Button, bar);
    palette.setColor(QPalette::ButtonText, m_textColor);
    QColor placeholder = m_textColor;
    placeholder.setAlphaF(0.45f);
    palette.setColor(QPalette::PlaceholderText, placeholder);
    m_findBar->setPalette(palette);
}

void STTextView::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    applyFindBarColors();
    if (m_gutter)
        m_gutter->setBackgroundColor(color);
    viewport()->update();
}

void STTextView::setSelectionColor(const QColor &color)
{
    m_selectionColor = color;
    viewport()->update();
}

void STTextView::setDefaultParagraphStyle(const STParagraphStyle &style)
{
    m_paragraphStyle = style;
    m_paragraphStyle.lineHeightMultiple = std::clamp(style.lineHeightMultiple, 0.5, 4.0);
    updateMetrics();
    relayoutAll();
}

void STTextView::setHighlightSelectedLine(bool on)
{
    m_highlightSelectedLine = on;
    viewport()->update();
}

void STTextView::setSelectedLineHighlightColor(const QColor &color)
{
    m_selectedLineColor = color;
    viewport()->update();
}

void STTextView::setHorizontallyResizable(bool on)
{
    if (m_horizontallyResizable == on)
        return;
    m_horizontallyResizable = on;
    horizontalScrollBar()->setValue(0);
    relayoutAll();
}

void STTextView::setEditable(bool on)
{
    m_editable = on;
    setAttribute(Qt::WA_InputMethodEnabled, on);
}

void STTextView::setSelectable(bool on)
{
    m_selectable = on;
}

void STTextView::setShowsLineNumbers(bool on)
{
    if (on == showsLineNumbers())
        return;
    if (on) {
        m_gutter = new STGutterView(this);
        m_gutter->setFont(font());
        m_gutter->setBackgroundColor(m_backgroundColor);
        m_gutter->show();
    } else {
        delete m_gutter;
        m_gutter = nullptr;
    }
    updateViewportMargins();
}

void STTextView::setTextInsets(int left, int right)
{
    m_leftInset = std::max(0, left);
    m_rightInset = std::max(0, right);
    relayoutAll();
}

TextView::UndoManager *STTextView::undoManager()
{
    if (m_delegate) {
        if (TextView::UndoManager *manager = m_delegate->undoManager(this))
            return manager;
    }
    return &m_undo;
}

// ---------------------------------------------------------------------------------------------
// Metrics, wrapping and scrolling

void STTextView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    m_charWidth = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_rowHeight = std::max(1, int(std::lround(metrics.lineSpacing() * m_paragraphStyle.lineHeightMultiple)));
}

int STTextView::textLeft() const
{
    return m_leftInset;
}

int STTextView::textWidth() const
{
    return std::max(int(m_charWidth) * 4, viewport()->width() - m_leftInset - m_rightInset);
}

void STTextView::updateWrapColumns()
{
    const std::uint32_t columns = wraps() ? std::uint32_t(std::max<qreal>(1, std::floor(textWidth() / m_charWidth))) : 0;
    if (columns != m_storage.lines().wrapColumns())
        m_storage.lines().setWrapColumns(columns);
}

void STTextView::relayoutAll()
{
    m_layouts.clear();
    m_widestMeasured = 0;
    const std::uint32_t columns = wraps() ? std::uint32_t(std::max<qreal>(1, std::floor(textWidth() / m_charWidth))) : 0;
    m_storage.lines().setWrapColumns(columns);
    if (m_topLine >= m_storage.lineCount())
        m_topLine = m_storage.lineCount() - 1;
    m_topRowInLine = std::min(m_topRowInLine, m_storage.lines().rows(m_topLine) - 1);
    updateScrollBars();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

int STTextView::visibleRowCount() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

std::size_t STTextView::topRow() const
{
    return m_storage.lines().rowOfLine(m_topLine) + m_topRowInLine;
}

void STTextView::setTopRow(std::size_t row)
{
    const auto &lines = m_storage.lines();
    const std::size_t total = lines.totalRows();
    const std::size_t visible = std::size_t(visibleRowCount());
    const std::size_t maxTop = total > visible ? total - visible : 0;
    row = std::min(row, maxTop);
    const auto position = lines.lineAtRow(row);
    m_topLine = position.line;
    m_topRowInLine = position.rowInLine;
    updateScrollBars();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void STTextView::updateScrollBars()
{
    m_settingScrollBars = true;
    const auto &lines = m_storage.lines();
    const int visible = visibleRowCount();
    const std::size_t total = lines.totalRows();
    QScrollBar *vertical = verticalScrollBar();
    const int maximum = int(std::min<std::size_t>(total > std::size_t(visible) ? total - std::size_t(visible) : 0, INT_MAX));
    vertical->setRange(0, maximum);
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setValue(int(std::min<std::size_t>(topRow(), INT_MAX)));

    QScrollBar *horizontal = horizontalScrollBar();
    if (wraps()) {
        horizontal->setRange(0, 0);
    } else {
        // Giant lines scroll sideways by the width of one piece.
        const std::size_t longestLine = lines.longestLineLength();
        const std::size_t longest = longestLine <= TextView::LineIndex::SinglePieceLimit ? longestLine : lines.pieceLength();
        const qreal widest = std::max(m_widestMeasured, qreal(longest) * m_charWidth) + m_charWidth * 2;
        horizontal->setRange(0, std::max(0, int(std::ceil(widest)) - textWidth()));
        horizontal->setPageStep(textWidth());
        horizontal->setSingleStep(int(std::ceil(m_charWidth * 2)));
    }
    m_settingScrollBars = false;
}

void STTextView::scrollContentsBy(int, int dy)
{
    if (!m_settingScrollBars && dy != 0) {
        const auto position = m_storage.lines().lineAtRow(std::size_t(verticalScrollBar()->value()));
        m_topLine = position.line;
        m_topRowInLine = position.rowInLine;
    }
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void STTextView::updateViewportMargins()
{
    const int left = m_gutter ? m_gutter->preferredWidth() : 0;
    const int top = (m_findBar && m_findBar->isVisible()) ? m_findBar->sizeHint().height() : 0;
    setViewportMargins(left, top, 0, 0);
    const QRect area = contentsRect();
    if (m_findBar)
        m_findBar->setGeometry(area.left(), area.top(), area.width(), top);
    if (m_gutter)
        m_gutter->setGeometry(area.left(), area.top() + top, left, viewport()->height());
}

void STTextView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateViewportMargins();
    const std::uint32_t columns = wraps() ? std::uint32_t(std::max<qreal>(1, std::floor(textWidth() / m_charWidth))) : 0;
    if (wraps())
        m_layouts.clear();
    if (columns != m_storage.lines().wrapColumns())
        relayoutAll();
    else
        updateScrollBars();
}

void STTextView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        relayoutAll();
    }
}

bool STTextView::focusNextPrevChild(bool next)
{
    // Tab is text here, never focus navigation.
    if (m_editable)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

// ---------------------------------------------------------------------------------------------
// Pieces: lines longer than the piece length are laid out in pieces, each starting a new row.

std::size_t STTextView::pieceCount(std::size_t line) const
{
    const std::size_t length = m_storage.lineLength(line);
    const std::size_t piece = m_storage.lines().pieceLength();
    return length <= TextView::LineIndex::SinglePieceLimit ? 1 : (length + piece - 1) / piece;
}

std::size_t STTextView::pieceStart(std::size_t line, std::size_t piece) const
{
    if (piece == 0)
        return 0;
    const std::size_t length = m_storage.lineLength(line);
    std::size_t start = std::min(length, piece * m_storage.lines().pieceLength());
    const std::size_t absolute = m_storage.lineStart(line) + start;
    // Never split a surrogate pair between two pieces.
    if (start > 0 && start < length && isHighSurrogate(m_storage.at(absolute - 1)) && isLowSurrogate(m_storage.at(absolute)))
        ++start;
    return start;
}

std::size_t STTextView::pieceOf(std::size_t line, std::size_t offset) const
{
    const std::size_t count = pieceCount(line);
    if (count == 1)
        return 0;
    std::size_t piece = std::min(count - 1, offset / m_storage.lines().pieceLength());
    if (piece > 0 && offset < pieceStart(line, piece))
        --piece;
    return piece;
}

std::uint32_t STTextView::pieceRows(std::size_t line, std::size_t piece) const
{
    const auto &lines = m_storage.lines();
    const std::size_t count = pieceCount(line);
    if (count == 1)
        return lines.rows(line);
    if (!wraps())
        return 1;
    const std::size_t pieceLength = lines.pieceLength();
    const std::size_t length = m_storage.lineLength(line);
    const std::size_t units = piece + 1 < count ? pieceLength : length - piece * pieceLength;
    const std::size_t columns = std::max<std::uint32_t>(1, lines.wrapColumns());
    return std::uint32_t(std::max<std::size_t>(1, (units + columns - 1) / columns));
}

std::size_t STTextView::pieceFirstRow(std::size_t line, std::size_t piece) const
{
    if (piece == 0)
        return 0;
    if (!wraps())
        return piece;
    const auto &lines = m_storage.lines();
    (void)line;
    const std::size_t columns = std::max<std::uint32_t>(1, lines.wrapColumns());
    return piece * ((lines.pieceLength() + columns - 1) / columns);
}

QTextLayout *STTextView::layoutFor(std::size_t line, std::size_t piece)
{
    LineLayout &cached = m_layouts[line];
    auto found = cached.pieces.find(piece);
    if (found != cached.pieces.end())
        return found->second.layout.get();

    const std::size_t lineStart = m_storage.lineStart(line);
    const std::size_t count = pieceCount(line);
    const std::size_t start = pieceStart(line, piece);
    const std::size_t end = piece + 1 < count ? pieceStart(line, piece + 1) : m_storage.lineLength(line);
    QString text(qsizetype(end - start), Qt::Uninitialized);
    m_storage.copy(lineStart + start, end - start, reinterpret_cast<char16_t *>(text.data()));

    auto layout = std::make_unique<QTextLayout>(text, font());
    QTextOption option;
    option.setTabStopDistance(m_charWidth * 4);
    if (!wraps())
        option.setWrapMode(QTextOption::NoWrap);
    else
        option.setWrapMode(count > 1 ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);

    // An input method's preedit text sits inside the line; formats after it move along.
    int preeditAt = -1;
    if (!m_preedit.isEmpty()) {
        const std::size_t caretLine = m_storage.lineAt(m_caret);
        const std::size_t offset = m_caret - m_storage.lineStart(caretLine);
        if (caretLine == line && pieceOf(line, offset) == piece)
            preeditAt = int(offset - start);
    }
    QList<QTextLayout::FormatRange> formats;
    if (m_storage.hasClasses() && end > start) {
        std::vector<std::uint8_t> classes(end - start);
        m_storage.copyClasses(lineStart + start, end - start, classes.data());
        std::size_t runStart = 0;
        for (std::size_t i = 1; i <= classes.size(); ++i) {
            // Runs also break at the preedit position so that they can be shifted past it.
            if (i < classes.size() && classes[i] == classes[runStart] && int(i) != preeditAt)
                continue;
            if (classes[runStart] != 0) {
                QTextLayout::FormatRange range;
                range.start = int(runStart);
                range.length = int(i - runStart);
                if (preeditAt >= 0 && range.start >= preeditAt)
                    range.start += int(m_preedit.size());
                range.format.setForeground(syntaxColor(classes[runStart]));
                formats.append(range);
            }
            runStart = i;
        }
    }
    if (preeditAt >= 0) {
        layout->setPreeditArea(preeditAt, m_preedit);
        if (m_preeditFormats.isEmpty()) {
            QTextLayout::FormatRange range;
            range.start = preeditAt;
            range.length = int(m_preedit.size());
            range.format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            formats.append(range);
        }
        for (QTextLayout::FormatRange range : m_preeditFormats) {
            range.start += preeditAt;
            formats.append(range);
        }
    }
    if (!formats.isEmpty())
        layout->setFormats(formats);

    layout->beginLayout();
    int rows = 0;
    const qreal width = wraps() ? qreal(textWidth()) : 1e7;
    for (;;) {
        QTextLine textLine = layout->createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(width);
        textLine.setPosition(QPointF(0, rows * m_rowHeight + (m_rowHeight - textLine.height()) / 2));
        ++rows;
    }
    layout->endLayout();
    if (count == 1 && wraps())
        m_storage.lines().setMeasuredRows(line, std::uint32_t(std::max(rows, 1)));
    if (!wraps())
        m_widestMeasured = std::max(m_widestMeasured, layout->maximumWidth());

    Piece entry;
    entry.start = start;
    entry.length = end - start;
    entry.layout = std::move(layout);
    QTextLayout *result = entry.layout.get();
    cached.pieces.emplace(piece, std::move(entry));
    return result;
}

void STTextView::invalidateLines(std::size_t first, std::size_t last)
{
    m_layouts.erase(m_layouts.lower_bound(first), m_layouts.upper_bound(last));
}

void STTextView::trimLayoutCache()
{
    if (m_layouts.size() < 300)
        return;
    const std::size_t low = m_topLine > 100 ? m_topLine - 100 : 0;
    const std::size_t high = m_topLine + std::size_t(visibleRowCount()) + 100;
    m_layouts.erase(m_layouts.begin(), m_layouts.lower_bound(low));
    m_layouts.erase(m_layouts.upper_bound(high), m_layouts.end());
}

// ---------------------------------------------------------------------------------------------
// Storage observer

void STTextView::textReplaced(const TextView::EditReport &report)
{
    const std::size_t first = report.firstLine;
    const std::size_t lastOld = first + report.removedLineBreaks;
    const std::ptrdiff_t lineDelta = std::ptrdiff_t(report.insertedLineBreaks) - std::ptrdiff_t(report.removedLineBreaks);
    if (lineDelta == 0) {
        auto cached = m_layouts.find(first);
        if (first == lastOld && cached != m_layouts.end() && pieceCount(first) > 1) {
            // Pieces of a long line before the edited one keep their text and their layout.
            const std::size_t edited = pieceOf(first, report.position - m_storage.lineStart(first));
            auto &pieces = cached->second.pieces;
            pieces.erase(pieces.lower_bound(edited), pieces.end());
        } else {
            invalidateLines(first, lastOld);
        }
    } else {
        std::map<std::size_t, LineLayout> shifted;
        for (auto &[line, layout] : m_layouts) {
            if (line < first)
                shifted.emplace(line, std::move(layout));
            else if (line > lastOld)
                shifted.emplace(std::size_t(std::ptrdiff_t(line) + lineDelta), std::move(layout));
        }
        m_layouts = std::move(shifted);
    }
    if (m_topLine > lastOld) {
        m_topLine = std::size_t(std::ptrdiff_t(m_topLine) + lineDelta);
    } else if (m_topLine > first) {
        m_topLine = first;
        m_topRowInLine = 0;
    }
    m_topLine = std::min(m_topLine, m_storage.lineCount() - 1);
    m_topRowInLine = std::min(m_topRowInLine, m_storage.lines().rows(m_topLine) - 1);

    // Keep the selection on the same text when someone else edits the storage.
    auto map = [&](std::size_t p) {
        if (p >= report.position + report.removed)
            return p - report.removed + report.inserted;
        if (p > report.position)
            return report.position + report.inserted;
        return p;
    };
    m_anchor = std::min(map(m_anchor), m_storage.length());
    m_caret = std::min(map(m_caret), m_storage.length());
    m_desiredX.reset();

    updateMatchesAfterEdit(report);
    updateScrollBars();
    if (m_gutter && m_gutter->preferredWidth() != m_gutter->width())
        updateViewportMargins();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void STTextView::attributesChanged(std::size_t start, std::size_t length)
{
    invalidateLines(m_storage.lineAt(start), m_storage.lineAt(start + length));
    viewport()->update();
}

void STTextView::contentReset()
{
    m_layouts.clear();
    m_widestMeasured = 0;
    m_anchor = std::min(m_anchor, m_storage.length());
    m_caret = std::min(m_caret, m_storage.length());
    m_topLine = std::min(m_topLine, m_storage.lineCount() - 1);
    m_topRowInLine = 0;
    m_desiredX.reset();
    updateWrapColumns();
    if (m_findBar && m_findBar->isVisible())
        recomputeMatches();
    else
        m_matches.clear();
    updateScrollBars();
    updateViewportMargins();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

// ---------------------------------------------------------------------------------------------
// Painting

void STTextView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect clip = event->rect();
    painter.fillRect(clip, m_backgroundColor);
    painter.setPen(m_textColor);

    const int height = viewport()->height();
    const int width = viewport()->width();
    const qreal left = textLeft() - horizontalScrollBar()->value();
    const std::size_t selectionStart = std::min(m_anchor, m_caret);
    const std::size_t selectionEnd = std::max(m_anchor, m_caret);
    const std::size_t caretLine = m_storage.lineAt(m_caret);
    const std::size_t needleLength = std::size_t(m_needle.size());
    const TextRange selection = textSelection();
    const std::size_t totalRowsBefore = m_storage.lines().totalRows();
    // Measuring the top line may show it has fewer rows than estimated: keep the anchor inside it.
    if (pieceCount(m_topLine) == 1)
        layoutFor(m_topLine, 0);
    m_topRowInLine = std::min(m_topRowInLine, m_storage.lines().rows(m_topLine) - 1);

    qint64 y = -qint64(m_topRowInLine) * m_rowHeight;
    for (std::size_t line = m_topLine; line < m_storage.lineCount() && y < height; ++line) {
        const std::size_t count = pieceCount(line);
        if (count == 1)
            layoutFor(line, 0); // measures the rows of the line
        const std::uint32_t rows = m_storage.lines().rows(line);
        const qint64 lineTop = y;
        y += qint64(rows) * m_rowHeight;
        if (y <= clip.top() || lineTop >= clip.bottom() + 1)
            continue;
        // The caret's line gets the highlight; of a line laid out in pieces only the caret's piece.
        if (m_highlightSelectedLine && line == caretLine && count == 1)
            painter.fillRect(QRectF(0, qreal(lineTop), width, qreal(rows) * m_rowHeight), m_selectedLineColor);

        const std::size_t lineStart = m_storage.lineStart(line);
        const std::size_t lineLength = m_storage.lineLength(line);
        std::size_t firstPiece = 0;
        if (count > 1 && lineTop < 0) {
            const std::size_t rowsPerPiece = std::max<std::size_t>(1, pieceFirstRow(line, 1));
            firstPiece = std::min(count - 1, std::size_t(-lineTop / m_rowHeight) / rowsPerPiece);
        }
        for (std::size_t piece = firstPiece; piece < count; ++piece) {
            const qint64 pieceTop = lineTop + qint64(pieceFirstRow(line, piece)) * m_rowHeight;
            if (pieceTop >= height)
                break;
            QTextLayout *layout = layoutFor(line, piece);
            const std::size_t pieceAbsolute = lineStart + pieceStart(line, piece);
            const std::size_t pieceEnd = lineStart + (piece + 1 < count ? pieceStart(line, piece + 1) : lineLength);
            const QPointF origin(left, qreal(pieceTop));
            if (m_highlightSelectedLine && count > 1 && m_caret >= pieceAbsolute
                && (m_caret < pieceEnd || (m_caret == pieceEnd && piece + 1 == count)))
                painter.fillRect(QRectF(0, qreal(pieceTop), width, qreal(pieceRows(line, piece)) * m_rowHeight),
                                 m_selectedLineColor);
            auto clipRange = [&](std::size_t a, std::size_t b, QTextLayout::FormatRange &range) {
                a = std::max(a, pieceAbsolute);
                b = std::min(b, pieceEnd);
                if (a >= b)
                    return false;
                range.start = int(a - pieceAbsolute);
                range.length = int(b - a);
                return true;
            };

            // Backgrounds (error line, find matches, selection) fill whole rows, so that they
            // join up across the extra line height.
            auto fillRange = [&](std::size_t a, std::size_t b, const QColor &color) {
                QTextLayout::FormatRange range;
                if (!clipRange(a, b, range))
                    return;
                for (int i = 0; i < layout->lineCount(); ++i) {
                    const QTextLine row = layout->lineAt(i);
                    const int from = std::max(range.start, row.textStart());
                    const int to = std::min(range.start + range.length, row.textStart() + row.textLength());
                    if (from >= to)
                        continue;
                    const qreal x1 = row.cursorToX(from), x2 = row.cursorToX(to);
                    const qreal rowTop = origin.y() + qreal(i) * m_rowHeight;
                    painter.fillRect(QRectF(origin.x() + std::min(x1, x2), rowTop, std::abs(x2 - x1), m_rowHeight), color);
                }
            };
            painter.save();
            if (count > 1)
                painter.setClipRect(QRectF(0, qreal(pieceTop), width, qreal(pieceRows(line, piece)) * m_rowHeight),
                                    Qt::IntersectClip);
            for (const TextView::Decoration &d : m_storage.decorations()) {
                if (qAlpha(d.background))
                    fillRange(d.start, d.start + d.length, QColor::fromRgba(d.background));
            }
            if (needleLength && !m_matches.empty()) {
                const std::size_t from = pieceAbsolute >= needleLength ? pieceAbsolute - needleLength + 1 : 0;
                for (auto it = std::lower_bound(m_matches.begin(), m_matches.end(), from);
                     it != m_matches.end() && *it < pieceEnd; ++it) {
                    const bool current = selection.location == *it && selection.length == needleLength;
                    fillRange(*it, *it + needleLength, current ? m_currentMatchColor : m_matchColor);
                }
            }
            // A selected match shows in the current-match colour alone.
            const bool selectionIsMatch = needleLength && selection.length == needleLength
                                          && std::binary_search(m_matches.begin(), m_matches.end(), selection.location);
            if (selectionStart != selectionEnd && !selectionIsMatch)
                fillRange(selectionStart, selectionEnd, m_selectionColor);
            layout->draw(&painter, origin, {}, clip);

            // Thick underlines of decorations, drawn under the glyphs of each visual row.
            for (const TextView::Decoration &d : m_storage.decorations()) {
                QTextLayout::FormatRange range;
                if (d.underline == TextView::UnderlineStyle::None || !clipRange(d.start, d.start + d.length, range))
                    continue;
                const qreal thickness = d.underline == TextView::UnderlineStyle::Thick ? 2.0 : 1.0;
                for (int i = 0; i < layout->lineCount(); ++i) {
                    const QTextLine row = layout->lineAt(i);
                    const int a = std::max(range.start, row.textStart());
                    const int b = std::min(range.start + range.length, row.textStart() + row.textLength());
                    if (a >= b)
                        continue;
                    const qreal x1 = row.cursorToX(a), x2 = row.cursorToX(b);
                    const qreal underlineY = row.y() + row.ascent() + 2;
                    painter.fillRect(QRectF(origin.x() + std::min(x1, x2), origin.y() + underlineY, std::abs(x2 - x1), thickness),
                                     QColor::fromRgba(d.underlineColor));
                }
            }
            // A selected line break shows as a small block after the line.
            if (piece + 1 == count && selectionStart <= pieceEnd && selectionEnd > pieceEnd && layout->lineCount() > 0) {
                const QTextLine last = layout->lineAt(layout->lineCount() - 1);
                painter.fillRect(QRectF(origin.x() + last.naturalTextWidth(), origin.y() + qreal(layout->lineCount() - 1) * m_rowHeight,
                                        m_charWidth / 2, m_rowHeight),
                                 m_selectionColor);
            }
            // Caret (with the input method's preedit cursor inside the preedit text).
            if (hasFocus() && m_caretVisible && m_caret >= pieceAbsolute && (m_caret < pieceEnd || (m_caret == pieceEnd && piece + 1 == count))) {
                const int position = int(m_caret - pieceAbsolute) + (m_preedit.isEmpty() ? 0 : m_preeditCursor);
                painter.setPen(m_textColor);
                layout->drawCursor(&painter, origin, position, 2);
            }
            painter.restore();
        }
    }
    trimLayoutCache();
    // Rows measured while painting refine the estimates: keep the scroll bar in step.
    if (m_storage.lines().totalRows() != totalRowsBefore)
        QTimer::singleShot(0, this, [this] { updateScrollBars(); });
}

std::vector<STTextView::VisibleLine> STTextView::visibleLines()
{
    std::vector<VisibleLine> out;
    const int height = viewport()->height();
    qint64 y = -qint64(m_topRowInLine) * m_rowHeight;
    for (std::size_t line = m_topLine; line < m_storage.lineCount() && y < height; ++line) {
        out.push_back({line, int(std::max<qint64>(y, INT_MIN / 2))});
        y += qint64(m_storage.lines().rows(line)) * m_rowHeight;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Positions

STTextView::RowHit STTextView::rowAt(std::size_t globalRow)
{
    const auto &lines = m_storage.lines();
    auto position = lines.lineAtRow(globalRow);
    const std::size_t count = pieceCount(position.line);
    if (count == 1) {
        QTextLayout *layout = layoutFor(position.line, 0);
        return {position.line, 0, std::min<int>(int(position.rowInLine), std::max(0, layout->lineCount() - 1))};
    }
    const std::size_t perPiece = std::max<std::size_t>(1, pieceFirstRow(position.line, 1));
    const std::size_t piece = std::min(count - 1, std::size_t(position.rowInLine) / perPiece);
    QTextLayout *layout = layoutFor(position.line, piece);
    const int row = int(position.rowInLine - piece * perPiece);
    return {position.line, piece, std::min(row, std::max(0, layout->lineCount() - 1))};
}

std::size_t STTextView::globalRowOf(std::size_t position, qreal *x)
{
    position = std::min(position, m_storage.length());
    const std::size_t line = m_storage.lineAt(position);
    const std::size_t offset = position - m_storage.lineStart(line);
    const std::size_t piece = pieceOf(line, offset);
    QTextLayout *layout = layoutFor(line, piece);
    // At the caret an input method's preedit text is part of the layout: count its cursor too.
    const int inPiece = int(offset - pieceStart(line, piece))
                        + (position == m_caret && !m_preedit.isEmpty() ? m_preeditCursor : 0);
    int row = 0;
    qreal cursorX = 0;
    if (layout->lineCount() > 0) {
        QTextLine textLine = layout->lineForTextPosition(inPiece);
        if (!textLine.isValid())
            textLine = layout->lineAt(layout->lineCount() - 1);
        row = textLine.lineNumber();
        cursorX = textLine.cursorToX(inPiece);
    }
    if (x)
        *x = cursorX;
    return m_storage.lines().rowOfLine(line) + pieceFirstRow(line, piece) + std::size_t(row);
}

std::size_t STTextView::positionAtRow(std::size_t globalRow, qreal x)
{
    const RowHit hit = rowAt(globalRow);
    QTextLayout *layout = layoutFor(hit.line, hit.piece);
    const std::size_t base = m_storage.lineStart(hit.line) + pieceStart(hit.line, hit.piece);
    if (layout->lineCount() == 0)
        return base;
    const QTextLine textLine = layout->lineAt(hit.textLine);
    int inPiece = textLine.xToCursor(x);
    const int rowEnd = textLine.textStart() + textLine.textLength();
    // On a wrapped row the position after the last unit is the start of the next row.
    if (hit.textLine + 1 < layout->lineCount() && inPiece >= rowEnd && rowEnd > textLine.textStart())
        inPiece = rowEnd - 1;
    std::size_t position = base + std::size_t(std::max(0, inPiece));
    if (position > 0 && position < m_storage.length() && isLowSurrogate(m_storage.at(position))
        && isHighSurrogate(m_storage.at(position - 1)))
        --position;
    return position;
}

std::size_t STTextView::positionAt(QPoint point)
{
    const std::size_t top = topRow();
    std::size_t row;
    if (point.y() < 0) {
        const std::size_t up = std::size_t((-point.y() + m_rowHeight - 1) / m_rowHeight);
        row = top > up ? top - up : 0;
    } else {
        row = top + std::size_t(point.y() / m_rowHeight);
    }
    if (row >= m_storage.lines().totalRows())
        return m_storage.length();
    return positionAtRow(row, point.x() - textLeft() + horizontalScrollBar()->value());
}

QRect STTextView::caretRect()
{
    qreal x = 0;
    const std::size_t row = globalRowOf(m_caret, &x);
    const qint64 y = (qint64(row) - qint64(topRow())) * m_rowHeight;
    const int left = int(std::floor(x + textLeft() - horizontalScrollBar()->value()));
    return QRect(left, int(std::clamp<qint64>(y, -1000000, 1000000)), 2, m_rowHeight);
}

std::size_t STTextView::lineStartOf(std::size_t position) const
{
    return m_storage.lineStart(m_storage.lineAt(position));
}

std::size_t STTextView::lineEndOf(std::size_t position) const
{
    const std::size_t line = m_storage.lineAt(position);
    return m_storage.lineStart(line) + m_storage.lineLength(line);
}

std::size_t STTextView::nextGrapheme(std::size_t position) const
{
    const std::size_t length = m_storage.length();
    if (position >= length)
        return length;
    const std::size_t end = lineEndOf(position);
    if (position == end)
        return position + 1;
    const std::size_t window = std::min(end - position, GraphemeWindow);
    QString text(qsizetype(window), Qt::Uninitialized);
    m_storage.copy(position, window, reinterpret_cast<char16_t *>(text.data()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype next = finder.toNextBoundary();
    return position + std::size_t(next > 0 ? next : 1);
}

std::size_t STTextView::previousGrapheme(std::size_t position) const
{
    position = std::min(position, m_storage.length());
    if (position == 0)
        return 0;
    const std::size_t start = lineStartOf(position);
    if (position == start)
        return position - 1;
    const std::size_t window = std::min(position - start, GraphemeWindow);
    QString text(qsizetype(window), Qt::Uninitialized);
    m_storage.copy(position - window, window, reinterpret_cast<char16_t *>(text.data()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(text.size());
    const qsizetype previous = finder.toPreviousBoundary();
    std::size_t result = position - window + std::size_t(previous >= 0 ? previous : window - 1);
    if (result == position)
        result = position - 1;
    if (result > 0 && isLowSurrogate(m_storage.at(result)) && isHighSurrogate(m_storage.at(result - 1)))
        --result;
    return result;
}

std::size_t STTextView::nextWordEnd(std::size_t position) const
{
    const std::size_t lineEnd = lineEndOf(position);
    if (position >= lineEnd)
        return std::min(position + 1, m_storage.length());
    // A step never scans more than this, so that a giant unbroken line stays responsive.
    const std::size_t end = std::min(lineEnd, position + WordScanLimit);
    std::size_t i = position;
    while (i < end && !isWordUnit(m_storage.at(i)))
        ++i;
    while (i < end && isWordUnit(m_storage.at(i)))
        ++i;
    return i;
}

std::size_t STTextView::previousWordStart(std::size_t position) const
{
    const std::size_t lineStart = lineStartOf(position);
    if (position <= lineStart)
        return position > 0 ? position - 1 : 0;
    const std::size_t start = std::max(lineStart, position > WordScanLimit ? position - WordScanLimit : 0);
    std::size_t i = position;
    while (i > start && !isWordUnit(m_storage.at(i - 1)))
        --i;
    while (i > start && isWordUnit(m_storage.at(i - 1)))
        --i;
    return i;
}

TextRange STTextView::wordAt(std::size_t position) const
{
    const std::size_t start = std::max(lineStartOf(position), position > WordScanLimit ? position - WordScanLimit : 0);
    const std::size_t end = std::min(lineEndOf(position), position + WordScanLimit);
    if (position < end && isWordUnit(m_storage.at(position))) {
        std::size_t a = position, b = position;
        while (a > start && isWordUnit(m_storage.at(a - 1)))
            --a;
        while (b < end && isWordUnit(m_storage.at(b)))
            ++b;
        return {a, b - a};
    }
    if (position < end)
        return {position, nextGrapheme(position) - position};
    return {position, 0};
}

TextRange STTextView::lineRangeWithBreak(std::size_t position) const
{
    const std::size_t start = lineStartOf(position);
    const std::size_t end = std::min(lineEndOf(position) + 1, m_storage.length());
    return {start, end - start};
}

// ---------------------------------------------------------------------------------------------
// Selection

TextRange STTextView::textSelection() const
{
    const std::size_t a = std::min(m_anchor, m_caret), b = std::max(m_anchor, m_caret);
    return {a, b - a};
}

void STTextView::setTextSelection(TextRange range)
{
    const std::size_t location = std::min(range.location, m_storage.length());
    const std::size_t end = std::min(location + std::min(range.length, m_storage.length() - location), m_storage.length());
    setSelection(location, end);
}

void STTextView::setSelection(std::size_t anchor, std::size_t caret, bool keepDesiredX)
{
    const std::size_t length = m_storage.length();
    auto snap = [&](std::size_t p) {
        p = std::min(p, length);
        if (p > 0 && p < length && isLowSurrogate(m_storage.at(p)) && isHighSurrogate(m_storage.at(p - 1)))
            --p;
        return p;
    };
    anchor = snap(anchor);
    caret = snap(caret);
    if (!keepDesiredX)
        m_desiredX.reset();
    if (anchor == m_anchor && caret == m_caret)
        return;
    endComposition(CompositionEnd::Discard);
    m_anchor = anchor;
    m_caret = caret;
    restartCaretBlink();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
    if (m_findBar && m_findBar->isVisible())
        m_findBar->refreshCount();
    notifySelectionChanged();
}

void STTextView::moveCaret(std::size_t position, bool extend, bool keepDesiredX)
{
    setSelection(extend ? m_anchor : position, position, keepDesiredX);
    ensureCaretVisible();
}

void STTextView::endComposition(CompositionEnd end)
{
    const bool composing = !m_preedit.isEmpty();
    if (hasFocus()) {
        QInputMethod *inputMethod = QGuiApplication::inputMethod();
        // Committing delivers the preedit text as an input method event, inserted at the caret.
        if (composing && end == CompositionEnd::Commit)
            inputMethod->commit();
        inputMethod->reset();
    }
    if (m_preedit.isEmpty())
        return;
    const std::size_t line = m_storage.lineAt(m_caret);
    m_preedit.clear();
    m_preeditFormats.clear();
    invalidateLines(line, line);
    viewport()->update();
}

void STTextView::notifySelectionChanged()
{
    // The input method places its candidate window at the caret and reads around it.
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImAnchorRectangle | Qt::ImCursorPosition
                                               | Qt::ImAnchorPosition | Qt::ImSurroundingText
                                               | Qt::ImCurrentSelection);
    if (m_delegate)
        m_delegate->textViewDidChangeSelection(this);
    emit selectionChanged();
}

void STTextView::notifyTextChanged()
{
    if (m_suppressTextCallbacks)
        return;
    if (m_delegate)
        m_delegate->textViewDidChangeText(this);
    emit textChanged();
}

void STTextView::restartCaretBlink()
{
    m_caretVisible = true;
    if (hasFocus())
        m_caretTimer.start();
}

void STTextView::ensureCaretVisible()
{
    scrollRangeToVisible({m_caret, 0});
}

void STTextView::scrollRangeToVisible(TextRange range)
{
    const std::size_t position = std::min(range.location, m_storage.length());
    qreal x = 0;
    const std::size_t row = globalRowOf(position, &x);
    const std::size_t top = topRow();
    const std::size_t visible = std::size_t(visibleRowCount());
    if (row < top)
        setTopRow(row);
    else if (row >= top + visible)
        setTopRow(row - visible + 1);
    if (!wraps()) {
        updateScrollBars();
        QScrollBar *bar = horizontalScrollBar();
        const int margin = int(m_charWidth * 4);
        if (x < bar->value())
            bar->setValue(std::max(0, int(x) - margin));
        else if (x > bar->value() + textWidth() - m_charWidth)
            bar->setValue(int(x) - textWidth() + margin);
    }
    viewport()->update();
}

void STTextView::selectAll()
{
    if (!m_selectable)
        return;
    setSelection(0, m_storage.length());
}

// ---------------------------------------------------------------------------------------------
// Editing

bool STTextView::replaceCharacters(TextRange range, std::u16string_view replacement)
{
    return replaceCharacters(range, replacement, false);
}

bool STTextView::replaceCharacters(TextRange range, std::u16string_view replacement, bool allowsTypingCoalescing)
{
    const std::size_t length = m_storage.length();
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    if (m_delegate && !m_delegate->shouldChangeText(this, range, replacement))
        return false;

    TextView::UndoManager *manager = undoManager();
    if (manager && manager->isUndoRegistrationEnabled()) {
        const TextRange newRange{range.location, replacement.size()};
        auto *coalescing = dynamic_cast<TextView::CoalescingUndoManager *>(manager);
        if (coalescing && !coalescing->isUndoing() && !coalescing->isRedoing()) {
            if (allowsTypingCoalescing)
                coalescing->checkCoalescing(newRange);
            else
                coalescing->endCoalescing();
        }
        std::u16string old = m_storage.text(range.location, range.length);
        QPointer<STTextView> self(this);
        manager->beginUndoGrouping();
        manager->registerUndo([self, newRange, old] {
            if (!self)
                return;
            self->replaceCharacters(newRange, old, false);
            self->ensureCaretVisible();
        });
        manager->endUndoGrouping();
    }
    m_preedit.clear();
    m_preeditFormats.clear();
    m_storage.replace(range.location, range.length, replacement, m_typingAttributes.syntaxClass);
    // The caret follows the new text; the observer already mapped it for a plain storage edit.
    const std::size_t caret = range.location + replacement.size();
    const bool selectionMoved = m_anchor != caret || m_caret != caret;
    m_anchor = m_caret = caret;
    m_desiredX.reset();
    restartCaretBlink();
    notifyTextChanged();
    (void)selectionMoved; // the callback fires in every case: the editor re-reports the caret
    notifySelectionChanged();
    return true;
}

void STTextView::breakUndoCoalescing()
{
    if (auto *coalescing = dynamic_cast<TextView::CoalescingUndoManager *>(undoManager()))
        coalescing->endCoalescing();
}

void STTextView::insertTyped(const std::u16string &text)
{
    if (!m_editable)
        return;
    replaceCharacters(textSelection(), text, true);
    ensureCaretVisible();
}

void STTextView::undo()
{
    if (!m_editable)
        return;
    if (TextView::UndoManager *manager = undoManager())
        manager->undo();
}

void STTextView::redo()
{
    if (!m_editable)
        return;
    if (TextView::UndoManager *manager = undoManager())
        manager->redo();
}

void STTextView::copy()
{
    const TextRange selection = textSelection();
    if (selection.length == 0)
        return;
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(m_storage.text(selection.location, selection.length)));
}

void STTextView::cut()
{
    if (!m_editable || textSelection().length == 0)
        return;
    copy();
    replaceCharacters(textSelection(), u"", false);
    ensureCaretVisible();
}

void STTextView::paste()
{
    if (!m_editable)
        return;
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    replaceCharacters(textSelection(), normalizedLineBreaks(text), false);
    ensureCaretVisible();
}

void STTextView::deleteBackward()
{
    if (!m_editable)
        return;
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t previous = previousGrapheme(m_caret);
        range = {previous, m_caret - previous};
    }
    if (range.length)
        replaceCharacters(range, u"", false);
    ensureCaretVisible();
}

void STTextView::deleteForward()
{
    if (!m_editable)
        return;
    TextRange range = textSelection();
    if (range.length == 0)
        range = {m_caret, nextGrapheme(m_caret) - m_caret};
    if (range.length)
        replaceCharacters(range, u"", false);
    ensureCaretVisible();
}

void STTextView::killRange(TextRange range, DeleteAction action)
{
    if (!m_editable || range.length == 0)
        return;
    m_yanking.kill(action, m_storage.text(range.location, range.length));
    m_yanking.setYanking(false);
    replaceCharacters(range, u"", false);
    ensureCaretVisible();
}

void STTextView::deleteWordBackward()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t start = previousWordStart(m_caret);
        range = {start, m_caret - start};
    }
    killRange(range, DeleteAction::DeleteWordBackward);
}

void STTextView::deleteWordForward()
{
    TextRange range = textSelection();
    if (range.length == 0)
        range = {m_caret, nextWordEnd(m_caret) - m_caret};
    killRange(range, DeleteAction::DeleteWordForward);
}

void STTextView::deleteToBeginningOfLine()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t start = lineStartOf(m_caret);
        range = {start, m_caret - start};
    }
    killRange(range, DeleteAction::DeleteToBeginningOfLine);
}

void STTextView::deleteToEndOfLine()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t end = lineEndOf(m_caret);
        // At the end of a line the line break itself is killed, joining the next line.
        range = {m_caret, end > m_caret ? end - m_caret : (m_caret < m_storage.length() ? 1 : 0)};
    }
    killRange(range, DeleteAction::DeleteToEndOfLine);
}

void STTextView::yank()
{
    if (!m_editable)
        return;
    const std::u16string text = m_yanking.yank();
    replaceCharacters(textSelection(), text, false);
    ensureCaretVisible();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

bool STTextView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys belong to the text while it has focus, even when a menu uses them.
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        const bool plainText = !key->text().isEmpty() && key->text().at(0).isPrint()
                               && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plainText || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)
            || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Undo)
            || key->matches(QKeySequence::SelectAll)
            || (modifiers == Qt::ControlModifier && (key->key() == Qt::Key_K || key->key() == Qt::Key_Y))
            || (modifiers == Qt::ControlModifier && key->key() == Qt::Key_Z)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void STTextView::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool control = modifiers & Qt::ControlModifier;
    const int key = event->key();

    auto navigate = [&](std::size_t position) {
        if (!m_selectable)
            return;
        moveCaret(position, shift);
    };
    auto collapseOr = [&](bool toStart, std::size_t position) {
        const TextRange selection = textSelection();
        if (!shift && selection.length)
            navigate(toStart ? selection.location : selection.end());
        else
            navigate(position);
    };
    auto vertical = [&](std::ptrdiff_t rows) {
        qreal x = 0;
        const std::size_t row = globalRowOf(m_caret, &x);
        if (!m_desiredX)
            m_desiredX = x;
        const qreal desired = *m_desiredX;
        std::size_t target;
        const std::size_t total = m_storage.lines().totalRows();
        if (rows < 0 && std::size_t(-rows) > row)
            target = 0;
        else if (rows > 0 && row + std::size_t(rows) >= total)
            target = m_storage.length();
        else
            target = positionAtRow(std::size_t(std::ptrdiff_t(row) + rows), desired);
        if (rows < 0 && std::size_t(-rows) > row && row == 0)
            target = 0;
        if (m_selectable) {
            setSelection(shift ? m_anchor : target, target, true);
            m_desiredX = desired;
            ensureCaretVisible();
        }
    };

    if (modifiers == Qt::ControlModifier && key == Qt::Key_Y) {
        yank();
    } else if (modifiers == Qt::ControlModifier && key == Qt::Key_K) {
        deleteToEndOfLine();
    } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Backspace) {
        deleteToBeginningOfLine();
    } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) {
        redo();
    } else if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo)) {
        redo();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (key == Qt::Key_Backspace && control) {
        deleteWordBackward();
    } else if (key == Qt::Key_Delete && control) {
        deleteWordForward();
    } else if (key == Qt::Key_Backspace) {
        deleteBackward();
    } else if (key == Qt::Key_Delete) {
        deleteForward();
    } else if (key == Qt::Key_Left) {
        collapseOr(true, control ? previousWordStart(m_caret) : previousGrapheme(m_caret));
    } else if (key == Qt::Key_Right) {
        collapseOr(false, control ? nextWordEnd(m_caret) : nextGrapheme(m_caret));
    } else if (key == Qt::Key_Up) {
        vertical(-1);
    } else if (key == Qt::Key_Down) {
        vertical(1);
    } else if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        const int page = std::max(1, visibleRowCount() - 1);
        const std::size_t top = topRow();
        vertical(key == Qt::Key_PageUp ? -page : page);
        setTopRow(key == Qt::Key_PageUp ? (top > std::size_t(page) ? top - std::size_t(page) : 0) : top + std::size_t(page));
        ensureCaretVisible();
    } else if (key == Qt::Key_Home) {
        navigate(control ? 0 : lineStartOf(m_caret));
    } else if (key == Qt::Key_End) {
        navigate(control ? m_storage.length() : lineEndOf(m_caret));
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        insertTyped(u"\n");
    } else if (key == Qt::Key_Tab && !(modifiers & ~Qt::ShiftModifier)) {
        insertTyped(u"\t");
    } else if (key == Qt::Key_Escape && isFindBarVisible()) {
        hideFindBar();
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()
               && !(modifiers & (Qt::ControlModifier | Qt::MetaModifier))) {
        insertTyped(event->text().toStdU16String());
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Mouse

void STTextView::mousePressEvent(QMouseEvent *event)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && m_editable && clipboard->supportsSelection()) {
        // X11 tradition: the middle button pastes the primary selection where it is pressed.
        const QString text = clipboard->text(QClipboard::Selection);
        if (!text.isEmpty()) {
            const std::size_t position = positionAt(event->position().toPoint());
            setSelection(position, position);
            replaceCharacters({position, 0}, normalizedLineBreaks(text), false);
        }
        return;
    }
    if (!m_selectable || event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    endComposition(CompositionEnd::Commit);
    const QPoint point = event->position().toPoint();
    const std::size_t position = positionAt(point);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_lastDoubleClickTime < QApplication::doubleClickInterval()
        && (point - m_lastDoubleClickPoint).manhattanLength() < QApplication::startDragDistance() * 2) {
        const TextRange line = lineRangeWithBreak(position);
        setSelection(line.location, line.end());
        m_lastDoubleClickTime = 0;
        m_granularity = Granularity::Line;
        m_granularAnchor = line;
        m_selectingWithMouse = true;
        m_lastMousePoint = point;
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier)
        setSelection(m_anchor, position);
    else
        setSelection(position, position);
    m_granularity = Granularity::Character;
    m_selectingWithMouse = true;
    m_lastMousePoint = point;
}

void STTextView::extendMouseSelection(std::size_t position)
{
    if (m_granularity == Granularity::Character) {
        setSelection(m_anchor, position);
        return;
    }
    const TextRange unit = m_granularity == Granularity::Word ? wordAt(position) : lineRangeWithBreak(position);
    // The first unit stays selected; the selection grows towards the mouse by whole units.
    if (position < m_granularAnchor.location)
        setSelection(m_granularAnchor.end(), unit.location);
    else
        setSelection(m_granularAnchor.location, std::max(unit.end(), m_granularAnchor.end()));
}

void STTextView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selectingWithMouse || !(event->buttons() & Qt::LeftButton))
        return;
    m_lastMousePoint = event->position().toPoint();
    if (viewport()->rect().contains(m_lastMousePoint)) {
        m_autoScrollTimer.stop();
        extendMouseSelection(positionAt(m_lastMousePoint));
    } else if (!m_autoScrollTimer.isActive()) {
        m_autoScrollTimer.start();
        autoScrollTick();
    }
}

void STTextView::autoScrollTick()
{
    if (!m_selectingWithMouse) {
        m_autoScrollTimer.stop();
        return;
    }
    const QRect area = viewport()->rect();
    const QPoint p = m_lastMousePoint;
    if (p.y() < 0)
        setTopRow(topRow() > std::size_t(1 + -p.y() / m_rowHeight) ? topRow() - std::size_t(1 + -p.y() / m_rowHeight) : 0);
    else if (p.y() > area.bottom())
        setTopRow(topRow() + std::size_t(1 + (p.y() - area.bottom()) / m_rowHeight));
    if (!wraps()) {
        QScrollBar *bar = horizontalScrollBar();
        if (p.x() < 0)
            bar->setValue(bar->value() - int(m_charWidth * 2));
        else if (p.x() > area.right())
            bar->setValue(bar->value() + int(m_charWidth * 2));
    }
    const QPoint clamped(std::clamp(p.x(), 0, area.right()), std::clamp(p.y(), 0, area.bottom()));
    extendMouseSelection(positionAt(clamped));
}

void STTextView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_selectingWithMouse) {
        m_selectingWithMouse = false;
        m_autoScrollTimer.stop();
        const TextRange selection = textSelection();
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (selection.length && clipboard->supportsSelection())
            clipboard->setText(QString::fromStdU16String(m_storage.text(selection.location, selection.length)),
                               QClipboard::Selection);
    }
}

void STTextView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_selectable || event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const TextRange word = wordAt(positionAt(point));
    setSelection(word.location, word.end());
    m_granularity = Granularity::Word;
    m_granularAnchor = word;
    m_selectingWithMouse = true;
    m_lastMousePoint = point;
    m_lastDoubleClickTime = QDateTime::currentMSecsSinceEpoch();
    m_lastDoubleClickPoint = point;
}

void STTextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const bool hasSelection = textSelection().length > 0;
    TextView::UndoManager *manager = undoManager();
    menu.addAction(tr("Undo"), this, &STTextView::undo)->setEnabled(m_editable && manager && manager->canUndo());
    menu.addAction(tr("Redo"), this, &STTextView::redo)->setEnabled(m_editable && manager && manager->canRedo());
    menu.addSeparator();
    menu.addAction(tr("Cut"), this, &STTextView::cut)->setEnabled(m_editable && hasSelection);
    menu.addAction(tr("Copy"), this, &STTextView::copy)->setEnabled(hasSelection);
    menu.addAction(tr("Paste"), this, &STTextView::paste)
        ->setEnabled(m_editable && !QGuiApplication::clipboard()->text().isEmpty());
    menu.addAction(tr("Delete"), this, [this] {
            replaceCharacters(textSelection(), u"", false);
        })->setEnabled(m_editable && hasSelection);
    menu.addSeparator();
    menu.addAction(tr("Select All"), this, &STTextView::selectAll)->setEnabled(m_selectable);
    menu.addSeparator();
    menu.addAction(tr("Find…"), this, [this] { showFindBar(false); });
    menu.exec(event->globalPos());
}

void STTextView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartCaretBlink();
    viewport()->update();
}

void STTextView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_caretTimer.stop();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Input methods

void STTextView::inputMethodEvent(QInputMethodEvent *event)
{
    if (!m_editable) {
        event->ignore();
        return;
    }
    const std::size_t caretLine = m_storage.lineAt(m_caret);
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        TextRange range = textSelection();
        if (event->replacementLength() > 0) {
            const std::ptrdiff_t start = std::ptrdiff_t(m_caret) + event->replacementStart();
            range = {std::size_t(std::max<std::ptrdiff_t>(0, start)), std::size_t(event->replacementLength())};
        }
        replaceCharacters(range, event->commitString().toStdU16String(), true);
    } else if (!event->preeditString().isEmpty() && textSelection().length) {
        replaceCharacters(textSelection(), u"", false);
    }
    m_preedit = event->preeditString();
    m_preeditCursor = int(m_preedit.size());
    m_preeditFormats.clear();
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            m_preeditCursor = attribute.start;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
            if (format.isValid() && attribute.length > 0)
                m_preeditFormats.append({attribute.start, attribute.length, format});
        }
    }
    invalidateLines(caretLine, m_storage.lineAt(m_caret));
    ensureCaretVisible();
    viewport()->update();
    event->accept();
}

QVariant STTextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    auto *self = const_cast<STTextView *>(this);
    const std::size_t lineStart = lineStartOf(m_caret);
    const std::size_t lineEnd = lineEndOf(m_caret);
    // Surrounding text is the caret's line, limited to a window around the caret.
    const std::size_t from = std::max(lineStart, m_caret > 1024 ? m_caret - 1024 : 0);
    const std::size_t to = std::min(lineEnd, m_caret + 1024);
    switch (query) {
    case Qt::ImEnabled:
        return m_editable;
    case Qt::ImCursorRectangle:
        return QRectF(self->caretRect().translated(viewport()->pos()));
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(m_caret - from);
    case Qt::ImAnchorPosition:
        return int(std::clamp(m_anchor, from, to) - from);
    case Qt::ImSurroundingText:
        return QString::fromStdU16String(m_storage.text(from, to - from));
    case Qt::ImCurrentSelection: {
        const TextRange selection = textSelection();
        return QString::fromStdU16String(m_storage.text(selection.location, std::min<std::size_t>(selection.length, 65536)));
    }
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImMaximumTextLength:
        return QVariant();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---------------------------------------------------------------------------------------------
// Find

std::vector<std::size_t> STTextView::findIn(std::size_t from, std::size_t to) const
{
    std::vector<std::size_t> found;
    const std::size_t n = m_foldedNeedle.size();
    to = std::min(to, m_storage.length());
    if (n == 0 || from >= to || to - from < n)
        return found;
    const std::u16string_view hay = const_cast<TextView::TextStorage &>(m_storage).view(from, to - from);
    if (m_caseSensitive) {
        const std::boyer_moore_horspool_searcher searcher(m_foldedNeedle.begin(), m_foldedNeedle.end());
        auto it = hay.begin();
        for (;;) {
            it = std::search(it, hay.end(), searcher);
            if (it == hay.end())
                break;
            found.push_back(from + std::size_t(it - hay.begin()));
            it += std::ptrdiff_t(n);
        }
        return found;
    }
    const char16_t first = m_foldedNeedle[0];
    for (std::size_t i = 0; i + n <= hay.size();) {
        if (foldUnit(hay[i]) == first) {
            std::size_t k = 1;
            while (k < n && foldUnit(hay[i + k]) == m_foldedNeedle[k])
                ++k;
            if (k == n) {
                found.push_back(from + i);
                i += n;
                continue;
            }
        }
        ++i;
    }
    return found;
}

void STTextView::setSearchString(const QString &needle, bool caseSensitive)
{
    m_needle = needle;
    m_caseSensitive = caseSensitive;
    m_foldedNeedle = needle.toStdU16String();
    if (!caseSensitive)
        std::transform(m_foldedNeedle.begin(), m_foldedNeedle.end(), m_foldedNeedle.begin(), foldUnit);
    recomputeMatches();
}

void STTextView::recomputeMatches()
{
    m_matches = findIn(0, m_storage.length());
    viewport()->update();
    if (m_findBar)
        m_findBar->refreshCount();
}

void STTextView::updateMatchesAfterEdit(const TextView::EditReport &report)
{
    if (m_matches.empty() && (m_needle.isEmpty() || !isFindBarVisible()))
        return;
    if (m_suppressTextCallbacks)
        return; // replace-all recomputes once at the end
    const std::size_t n = m_foldedNeedle.size();
    const std::size_t low = report.position >= n ? report.position - n + 1 : 0;
    const std::size_t oldEnd = report.position + report.removed;
    auto first = std::lower_bound(m_matches.begin(), m_matches.end(), low);
    auto last = std::lower_bound(first, m_matches.end(), oldEnd);
    for (auto it = last; it != m_matches.end(); ++it)
        *it = *it - report.removed + report.inserted;
    const std::size_t index = std::size_t(first - m_matches.begin());
    m_matches.erase(first, last);
    std::vector<std::size_t> fresh = findIn(low, report.position + report.inserted + n - 1);
    // Drop fresh matches overlapping a kept one (matches never overlap).
    const std::size_t nextKept = index < m_matches.size() ? m_matches[index] : SIZE_MAX;
    const std::size_t previousEnd = index > 0 ? m_matches[index - 1] + n : 0;
    fresh.erase(std::remove_if(fresh.begin(), fresh.end(),
                               [&](std::size_t p) { return p < previousEnd || p + n > nextKept; }),
                fresh.end());
    m_matches.insert(m_matches.begin() + std::ptrdiff_t(index), fresh.begin(), fresh.end());
    if (m_findBar)
        m_findBar->refreshCount();
}

std::size_t STTextView::currentMatchIndex() const
{
    const TextRange selection = textSelection();
    if (m_matches.empty() || selection.length != m_foldedNeedle.size())
        return 0;
    auto it = std::lower_bound(m_matches.begin(), m_matches.end(), selection.location);
    if (it == m_matches.end() || *it != selection.location)
        return 0;
    return std::size_t(it - m_matches.begin()) + 1;
}

bool STTextView::findNext(bool forward)
{
    if (m_matches.empty())
        return false;
    const TextRange selection = textSelection();
    std::size_t match;
    if (forward) {
        const std::size_t from = selection.length ? selection.location + 1 : selection.location;
        auto it = std::lower_bound(m_matches.begin(), m_matches.end(), from);
        match = it == m_matches.end() ? m_matches.front() : *it;
    } else {
        auto it = std::lower_bound(m_matches.begin(), m_matches.end(), selection.location);
        match = it == m_matches.begin() ? m_matches.back() : *(it - 1);
    }
    setSelection(match, match + m_foldedNeedle.size());
    scrollRangeToVisible({match, m_foldedNeedle.size()});
    if (m_findBar)
        m_findBar->refreshCount();
    return true;
}

bool STTextView::replaceCurrent(const QString &replacement)
{
    if (!m_editable)
        return false;
    bool replaced = false;
    if (currentMatchIndex() != 0) {
        replaceCharacters(textSelection(), replacement.toStdU16String(), false);
        replaced = true;
    }
    findNext(true);
    return replaced;
}

std::size_t STTextView::replaceAll(const QString &replacement)
{
    if (!m_editable || m_matches.empty())
        return 0;
    const std::vector<std::size_t> matches = m_matches;
    const std::size_t n = m_foldedNeedle.size();
    const std::u16string with = replacement.toStdU16String();
    breakUndoCoalescing();
    TextView::UndoManager *manager = undoManager();
    if (manager)
        manager->beginUndoGrouping();
    // One undo step and one change callback for the whole run; from the end so that the
    // positions still to be replaced stay valid.
    m_suppressTextCallbacks = true;
    for (auto it = matches.rbegin(); it != matches.rend(); ++it)
        replaceCharacters({*it, n}, with, false);
    m_suppressTextCallbacks = false;
    if (manager)
        manager->endUndoGrouping();
    notifyTextChanged();
    recomputeMatches();
    return matches.size();
}

bool STTextView::isFindBarVisible() const
{
    return m_findBar && m_findBar->isVisible();
}

void STTextView::showFindBar(bool replace)
{
    if (!m_findBar) {
        m_findBar = new STFindBar(this);
        applyFindBarColors();
    }
    const TextRange selection = textSelection();
    if (selection.length > 0 && selection.length <= 200) {
        const std::u16string selected = m_storage.text(selection.location, selection.length);
        if (selected.find(u'\n') == std::u16string::npos)
            m_findBar->findField()->setText(QString::fromStdU16String(selected));
    }
    m_findBar->showFind(replace);
    updateViewportMargins();
    if (!m_needle.isEmpty() || !m_findBar->findField()->text().isEmpty())
        setSearchString(m_findBar->findField()->text(), m_caseSensitive);
    m_findBar->findField()->setFocus();
    m_findBar->findField()->selectAll();
}

void STTextView::hideFindBar()
{
    if (!m_findBar || !m_findBar->isVisible())
        return;
    m_findBar->hide();
    m_matches.clear();
    updateViewportMargins();
    setFocus(Qt::OtherFocusReason);
    viewport()->update();
}
