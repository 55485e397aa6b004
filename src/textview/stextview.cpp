#include "stextview.h"

#include "stfindbar_p.h"
#include "stgutterview.h"

#include "base/utf.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethod>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

using TextView::DeleteAction;
using TextView::TextRange;

namespace {

// Pasted text may come with CR LF or CR line breaks: the text holds LF only.
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
// Construction and properties

STTextView::STTextView(TextView::TextDocument &document, QWidget *parent)
    : QAbstractScrollArea(parent),
      m_document(&document),
      m_layout(m_document->storage(), m_style)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_style.font = font();
    m_document->addObserver(this);
    m_caretTimer.setInterval(std::max(QApplication::cursorFlashTime() / 2, 100));
    connect(&m_caretTimer, &QTimer::timeout, this, [this] {
        m_caretVisible = !m_caretVisible;
        viewport()->update(caretRect().adjusted(-2, 0, 2, 0));
    });
    m_autoScrollTimer.setInterval(40);
    connect(&m_autoScrollTimer, &QTimer::timeout, this, &STTextView::autoScrollTick);
    applyMetrics();
    applyWidth();
    m_layout.updateWrapColumns();
    updateScrollBars();
}

STTextView::~STTextView()
{
    m_document->removeObserver(this);
}

void STTextView::setText(Base::U16Buffer &&text)
{
    m_typingAttributes = {};
    const std::size_t former = std::min(m_anchor, m_caret);
    m_layout.clearPreedit();
    m_document->setText(std::move(text));
    m_anchor = m_caret = std::min(former, m_document->length());
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
    TextView::TextStorage &storage = m_document->storage();
    storage.beginEditing();
    if (!classes.empty())
        storage.setClasses(0, classes.data(), std::min(classes.size(), storage.length()));
    for (const TextView::Decoration &d : decorations)
        storage.addDecoration(d);
    storage.endEditing();
}

void STTextView::setTextViewStyle(const STTextViewStyle &style)
{
    const bool fontChanged = style.font != font();
    const bool colorsChanged = style.text != m_style.text || style.background != m_style.background;
    const bool paletteChanged = style.syntaxPalette != m_style.syntaxPalette || style.text != m_style.text;
    m_style = style;
    if (fontChanged)
        setFont(style.font); // lays the text out again (changeEvent)
    else if (paletteChanged)
        m_layout.clearCache(); // colours of syntax classes live in the layouts
    if (colorsChanged)
        applyFindBarColors();
    updateAll();
}

void STTextView::setSyntaxPalette(const std::vector<QColor> &palette)
{
    STTextViewStyle style = m_style;
    style.syntaxPalette = palette;
    setTextViewStyle(style);
}

void STTextView::setTextColor(const QColor &color)
{
    STTextViewStyle style = m_style;
    style.text = color;
    setTextViewStyle(style);
}

void STTextView::setBackgroundColor(const QColor &color)
{
    STTextViewStyle style = m_style;
    style.background = color;
    setTextViewStyle(style);
}

void STTextView::setSelectionColor(const QColor &color)
{
    STTextViewStyle style = m_style;
    style.selection = color;
    setTextViewStyle(style);
}

void STTextView::setSelectedLineHighlightColor(const QColor &color)
{
    STTextViewStyle style = m_style;
    style.currentLine = color;
    setTextViewStyle(style);
}

void STTextView::setDefaultParagraphStyle(const STParagraphStyle &style)
{
    m_paragraphStyle = style;
    m_paragraphStyle.lineHeightMultiple = std::clamp(style.lineHeightMultiple, 0.5, 4.0);
    applyMetrics();
    relayoutAll();
}

void STTextView::setHighlightSelectedLine(bool on)
{
    m_highlightSelectedLine = on;
    viewport()->update();
}

void STTextView::setHorizontallyResizable(bool on)
{
    if (isHorizontallyResizable() == on)
        return;
    m_layout.setWidth(!on, textWidth());
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
        m_gutter->show();
    } else {
        delete m_gutter;
        m_gutter = nullptr;
    }
    updateViewportMargins();
}

void STTextView::setIndentation(TextView::IndentStyle style, TextView::BlockSyntax syntax)
{
    m_blockSyntax = syntax;
    if (style == m_indentStyle)
        return;
    m_indentStyle = style;
    if (m_layout.tabColumns() != style.width) {
        m_layout.setTabColumns(style.width);
        relayoutAll();
    }
}

void STTextView::setTextInsets(int left, int right)
{
    m_leftInset = std::max(0, left);
    m_rightInset = std::max(0, right);
    relayoutAll();
}

// ---------------------------------------------------------------------------------------------
// Metrics, wrapping and scrolling

void STTextView::applyMetrics()
{
    m_layout.setMetrics(font(), m_paragraphStyle.lineHeightMultiple);
}

int STTextView::textWidth() const
{
    return std::max(int(m_layout.charWidth()) * 4, viewport()->width() - m_leftInset - m_rightInset);
}

void STTextView::applyWidth()
{
    m_layout.setWidth(m_layout.wraps(), textWidth());
}

void STTextView::updateAll()
{
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void STTextView::relayoutAll()
{
    applyWidth();
    m_layout.relayout();
    const TextView::WrapRows &rows = m_layout.rows();
    if (m_topLine >= rows.lineCount())
        m_topLine = rows.lineCount() - 1;
    m_topRowInLine = std::min(m_topRowInLine, rows.rows(m_topLine) - 1);
    updateScrollBars();
    updateAll();
}

int STTextView::visibleRowCount() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

std::size_t STTextView::topRow() const
{
    return m_layout.rows().rowOfLine(m_topLine) + m_topRowInLine;
}

void STTextView::setTopRow(std::size_t row)
{
    const TextView::WrapRows &rows = m_layout.rows();
    const std::size_t total = rows.totalRows();
    const std::size_t visible = std::size_t(visibleRowCount());
    const std::size_t maxTop = total > visible ? total - visible : 0;
    const TextView::RowPosition position = rows.lineAtRow(std::min(row, maxTop));
    m_topLine = position.line;
    m_topRowInLine = position.rowInLine;
    updateScrollBars();
    updateAll();
}

void STTextView::updateScrollBars()
{
    m_settingScrollBars = true;
    const TextView::WrapRows &rows = m_layout.rows();
    const int visible = visibleRowCount();
    const std::size_t total = rows.totalRows();
    QScrollBar *vertical = verticalScrollBar();
    const int maximum = int(std::min<std::size_t>(total > std::size_t(visible) ? total - std::size_t(visible) : 0, INT_MAX));
    vertical->setRange(0, maximum);
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setValue(int(std::min<std::size_t>(topRow(), INT_MAX)));

    QScrollBar *horizontal = horizontalScrollBar();
    if (m_layout.wraps()) {
        horizontal->setRange(0, 0);
    } else {
        // Giant lines scroll sideways by the width of one piece.
        const qreal charWidth = m_layout.charWidth();
        const std::size_t longestLine = m_document->storage().lines().longestLineLength();
        const std::size_t longest = longestLine <= TextView::WrapRows::SinglePieceLimit ? longestLine : rows.pieceLength();
        const qreal widest = std::max(m_layout.widestMeasured(), qreal(longest) * charWidth) + charWidth * 2;
        horizontal->setRange(0, std::max(0, int(std::ceil(widest)) - textWidth()));
        horizontal->setPageStep(textWidth());
        horizontal->setSingleStep(int(std::ceil(charWidth * 2)));
    }
    m_settingScrollBars = false;
}

void STTextView::scrollContentsBy(int, int dy)
{
    if (!m_settingScrollBars && dy != 0) {
        const TextView::RowPosition position = m_layout.rows().lineAtRow(std::size_t(verticalScrollBar()->value()));
        m_topLine = position.line;
        m_topRowInLine = position.rowInLine;
    }
    updateAll();
}

void STTextView::updateViewportMargins()
{
    const int left = m_gutter ? m_gutter->preferredWidth() : 0;
    const int top = (m_findBar && m_findBar->isVisible()) ? m_findBar->sizeHint().height() : 0;
    setViewportMargins(left, top, 0, 0);
    const QRect area = contentsRect();
    // Not under the vertical scroll bar, which would cover the bar's last buttons.
    if (m_findBar)
        m_findBar->setGeometry(area.left(), area.top(), viewport()->geometry().right() + 1 - area.left(), top);
    if (m_gutter)
        m_gutter->setGeometry(area.left(), area.top() + top, left, viewport()->height());
}

void STTextView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateViewportMargins();
    applyWidth();
    if (m_layout.wraps())
        m_layout.clearCache();
    if (m_layout.columns() != m_layout.rows().wrapColumns())
        relayoutAll();
    else
        updateScrollBars();
}

void STTextView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_style.font = font();
        applyMetrics();
        relayoutAll();
        // The gutter inherits the font: its width follows.
        updateViewportMargins();
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
// Document observer

void STTextView::documentDidReplace(const TextView::EditReport &report)
{
    m_layout.textReplaced(report);
    const std::size_t first = report.firstLine;
    const std::size_t lastOld = first + report.removedLineBreaks;
    const std::ptrdiff_t lineDelta = std::ptrdiff_t(report.insertedLineBreaks) - std::ptrdiff_t(report.removedLineBreaks);
    const TextView::TextStorage &storage = m_document->storage();
    if (m_topLine > lastOld) {
        m_topLine = std::size_t(std::ptrdiff_t(m_topLine) + lineDelta);
    } else if (m_topLine > first) {
        m_topLine = first;
        m_topRowInLine = 0;
    }
    m_topLine = std::min(m_topLine, storage.lineCount() - 1);
    m_topRowInLine = std::min(m_topRowInLine, m_layout.rows().rows(m_topLine) - 1);

    // Keep the selection on the same text when someone else edits the document.
    auto map = [&](std::size_t p) {
        if (p >= report.position + report.removed)
            return p - report.removed + report.inserted;
        if (p > report.position)
            return report.position + report.inserted;
        return p;
    };
    m_anchor = std::min(map(m_anchor), storage.length());
    m_caret = std::min(map(m_caret), storage.length());
    m_layout.movePreedit(m_caret);
    m_desiredX.reset();

    if (m_findBar)
        m_findBar->refreshCount();
    updateScrollBars();
    if (m_gutter && m_gutter->preferredWidth() != m_gutter->width())
        updateViewportMargins();
    updateAll();
}

void STTextView::documentDidChangeAttributes(std::size_t start, std::size_t length)
{
    m_layout.attributesChanged(start, length);
    viewport()->update();
}

void STTextView::documentDidReset()
{
    const TextView::TextStorage &storage = m_document->storage();
    m_layout.reset();
    m_anchor = std::min(m_anchor, storage.length());
    m_caret = std::min(m_caret, storage.length());
    m_topLine = std::min(m_topLine, storage.lineCount() - 1);
    m_topRowInLine = 0;
    m_desiredX.reset();
    // A shown find bar searches the new text.
    if (isFindBarVisible() && !m_document->isSearchActive())
        m_document->recomputeMatches();
    updateScrollBars();
    updateViewportMargins();
    updateAll();
}

void STTextView::documentDidChangeMatches()
{
    viewport()->update();
    if (m_findBar)
        m_findBar->refreshCount();
}

// ---------------------------------------------------------------------------------------------
// Painting and geometry

void STTextView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const std::size_t totalRowsBefore = m_layout.rows().totalRows();
    // Measuring the top line may show it has fewer rows than estimated: keep the anchor inside it.
    if (m_layout.pieceCount(m_topLine) == 1)
        m_layout.layoutFor(m_topLine, 0);
    m_topRowInLine = std::min(m_topRowInLine, m_layout.rows().rows(m_topLine) - 1);

    STTextLayout::PaintState state;
    state.clip = event->rect();
    state.width = viewport()->width();
    state.height = viewport()->height();
    state.left = textLeft() - horizontalScrollBar()->value();
    state.topLine = m_topLine;
    state.topRowInLine = m_topRowInLine;
    state.selection = textSelection();
    state.caret = m_caret;
    state.drawCaret = hasFocus() && m_caretVisible;
    state.highlightCaretLine = m_highlightSelectedLine;
    state.matches = &m_document->matches();
    state.matchLength = m_document->searchNeedle().size();
    m_layout.paint(painter, state);
    m_layout.trimCache(m_topLine, std::size_t(visibleRowCount()));
    // Rows measured while painting refine the estimates: keep the scroll bar in step.
    if (m_layout.rows().totalRows() != totalRowsBefore)
        QTimer::singleShot(0, this, [this] { updateScrollBars(); });
}

std::vector<STTextView::VisibleLine> STTextView::visibleLines()
{
    std::vector<VisibleLine> out;
    const int height = viewport()->height();
    const TextView::WrapRows &rows = m_layout.rows();
    const std::size_t lineCount = m_document->storage().lineCount();
    qint64 y = -qint64(m_topRowInLine) * rowHeight();
    for (std::size_t line = m_topLine; line < lineCount && y < height; ++line) {
        out.push_back({line, int(std::max<qint64>(y, INT_MIN / 2))});
        y += qint64(rows.rows(line)) * rowHeight();
    }
    return out;
}

std::size_t STTextView::positionAt(QPoint point)
{
    const std::size_t top = topRow();
    const int height = rowHeight();
    std::size_t row;
    if (point.y() < 0) {
        const std::size_t up = std::size_t((-point.y() + height - 1) / height);
        row = top > up ? top - up : 0;
    } else {
        row = top + std::size_t(point.y() / height);
    }
    if (row >= m_layout.rows().totalRows())
        return m_document->length();
    return m_layout.positionAtRow(row, point.x() - textLeft() + horizontalScrollBar()->value());
}

QRect STTextView::caretRect()
{
    qreal x = 0;
    const std::size_t row = m_layout.globalRowOf(m_caret, &x);
    const qint64 y = (qint64(row) - qint64(topRow())) * rowHeight();
    const int left = int(std::floor(x + textLeft() - horizontalScrollBar()->value()));
    return QRect(left, int(std::clamp<qint64>(y, -1000000, 1000000)), 2, rowHeight());
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
    const std::size_t length = m_document->length();
    const std::size_t location = std::min(range.location, length);
    const std::size_t end = std::min(location + std::min(range.length, length - location), length);
    setSelection(location, end);
}

void STTextView::selectLines(std::size_t anchorLine, std::size_t line)
{
    const TextView::TextStorage &storage = m_document->storage();
    const std::size_t last = storage.lineCount() - 1;
    const TextRange anchor = m_document->lineRangeWithBreak(storage.lineStart(std::min(anchorLine, last)));
    const TextRange unit = m_document->lineRangeWithBreak(storage.lineStart(std::min(line, last)));
    // The anchor's line stays selected; the selection grows towards `line` by whole lines.
    if (unit.location < anchor.location)
        setSelection(anchor.end(), unit.location);
    else
        setSelection(anchor.location, std::max(unit.end(), anchor.end()));
}

void STTextView::setSelection(std::size_t anchor, std::size_t caret, bool keepDesiredX)
{
    const TextView::TextStorage &storage = m_document->storage();
    const std::size_t length = storage.length();
    auto snap = [&](std::size_t p) {
        p = std::min(p, length);
        if (p > 0 && p < length && Base::Utf::isLowSurrogate(storage.at(p)) && Base::Utf::isHighSurrogate(storage.at(p - 1)))
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
    updateAll();
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
    const bool composing = !m_layout.preeditText().isEmpty();
    if (hasFocus()) {
        QInputMethod *inputMethod = QGuiApplication::inputMethod();
        // Committing delivers the preedit text as an input method event, inserted at the caret.
        if (composing && end == CompositionEnd::Commit)
            inputMethod->commit();
        inputMethod->reset();
    }
    if (m_layout.preeditText().isEmpty())
        return;
    m_layout.clearPreedit();
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
    const std::size_t position = std::min(range.location, m_document->length());
    qreal x = 0;
    const std::size_t row = m_layout.globalRowOf(position, &x);
    const std::size_t top = topRow();
    const std::size_t visible = std::size_t(visibleRowCount());
    if (row < top)
        setTopRow(row);
    else if (row >= top + visible)
        setTopRow(row - visible + 1);
    if (!m_layout.wraps()) {
        updateScrollBars();
        QScrollBar *bar = horizontalScrollBar();
        const int margin = int(m_layout.charWidth() * 4);
        if (x < bar->value())
            bar->setValue(std::max(0, int(x) - margin));
        else if (x > bar->value() + textWidth() - m_layout.charWidth())
            bar->setValue(int(x) - textWidth() + margin);
    }
    viewport()->update();
}

void STTextView::selectAll()
{
    if (!m_selectable)
        return;
    setSelection(0, m_document->length());
}

// ---------------------------------------------------------------------------------------------
// Editing

bool STTextView::replaceCharacters(TextRange range, std::u16string_view replacement)
{
    return replaceCharacters(range, replacement, false);
}

bool STTextView::replaceCharacters(TextRange range, std::u16string_view replacement, bool allowsTypingCoalescing)
{
    const std::size_t length = m_document->length();
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    if (m_delegate && !m_delegate->shouldChangeText(this, range, replacement))
        return false;
    m_layout.clearPreedit();
    m_document->replace(range, replacement,
                        allowsTypingCoalescing ? TextView::Coalescing::Allowed : TextView::Coalescing::Breaks,
                        m_typingAttributes.syntaxClass);
    finishOwnEdit(range.location + replacement.size());
    return true;
}

void STTextView::finishOwnEdit(std::size_t caret)
{
    // The caret follows the new text; the observer already mapped it for edits elsewhere.
    m_anchor = m_caret = std::min(caret, m_document->length());
    m_desiredX.reset();
    restartCaretBlink();
    // Both callbacks fire in every case: the editor re-reports the caret after each edit.
    notifyTextChanged();
    notifySelectionChanged();
}

void STTextView::breakUndoCoalescing()
{
    m_document->breakUndoCoalescing();
}

bool STTextView::applyEdits(const std::vector<TextView::TextEdit> &edits, std::size_t anchor, std::size_t caret)
{
    if (!m_editable)
        return false;
    if (m_delegate)
        for (const TextView::TextEdit &edit : edits)
            if (!m_delegate->shouldChangeText(this, edit.range, edit.replacement))
                return false;
    m_layout.clearPreedit();
    if (!edits.empty()) {
        m_document->breakUndoCoalescing();
        m_document->beginUndoGroup();
        // Applied first to last, so that undoing them ends at the first: the caret goes back
        // to the top of what changed.
        std::ptrdiff_t shift = 0;
        for (const TextView::TextEdit &edit : edits) {
            m_document->replace({std::size_t(std::ptrdiff_t(edit.range.location) + shift), edit.range.length},
                                edit.replacement);
            shift += std::ptrdiff_t(edit.replacement.size()) - std::ptrdiff_t(edit.range.length);
        }
        m_document->endUndoGroup();
    }
    const std::size_t length = m_document->length();
    m_anchor = std::min(anchor, length);
    m_caret = std::min(caret, length);
    m_desiredX.reset();
    restartCaretBlink();
    if (!edits.empty())
        notifyTextChanged();
    notifySelectionChanged();
    ensureCaretVisible();
    updateAll();
    return true;
}

void STTextView::finishHistoryStep(std::optional<TextRange> restored)
{
    if (!restored)
        return;
    m_layout.clearPreedit();
    finishOwnEdit(restored->end());
    ensureCaretVisible();
}

void STTextView::undo()
{
    if (m_editable)
        finishHistoryStep(m_document->undo());
}

void STTextView::redo()
{
    if (m_editable)
        finishHistoryStep(m_document->redo());
}

void STTextView::insertTyped(const std::u16string &text)
{
    if (!m_editable)
        return;
    const TextRange selection = textSelection();
    if (text.size() == 1 && selection.length == 0) {
        // A closing bracket alone on its line goes back one level.
        const std::size_t lineStart = m_document->lineStartOf(m_caret);
        if (m_caret - lineStart <= 4096) {
            const std::u16string before = m_document->text({lineStart, m_caret - lineStart});
            if (const auto replacement = TextView::closerInsertion(before, text.front(), m_indentStyle, m_blockSyntax)) {
                replaceCharacters({lineStart, before.size()}, *replacement, true);
                ensureCaretVisible();
                return;
            }
        }
    }
    replaceCharacters(selection, text, true);
    ensureCaretVisible();
}

namespace {
// Giant lines are read at their ends only: the indentation and the last tokens.
constexpr std::size_t lineEndsRead = 4096;
} // namespace

std::u16string STTextView::lineTextBefore(std::size_t position) const
{
    const std::size_t start = m_document->lineStartOf(position);
    if (position - start <= 2 * lineEndsRead)
        return m_document->text({start, position - start});
    return m_document->text({start, lineEndsRead}) + m_document->text({position - lineEndsRead, lineEndsRead});
}

std::u16string STTextView::lineTextAfter(std::size_t position) const
{
    const std::size_t end = m_document->lineEndOf(position);
    return m_document->text({position, std::min(end - position, lineEndsRead)});
}

void STTextView::insertNewline()
{
    if (!m_editable)
        return;
    const TextRange selection = textSelection();
    const TextView::NewlineInsertion insertion = TextView::newlineInsertion(
        lineTextBefore(selection.location), lineTextAfter(selection.end()), m_indentStyle, m_blockSyntax);
    if (!replaceCharacters({selection.location, selection.length + insertion.consumedAfter}, insertion.text, true))
        return;
    if (insertion.caretOffset != insertion.text.size()) {
        const std::size_t caret = selection.location + insertion.caretOffset;
        setSelection(caret, caret);
    }
    ensureCaretVisible();
}

void STTextView::insertTab()
{
    if (!m_editable)
        return;
    if (TextView::selectionSpansLines(m_document->storage(), m_anchor, m_caret)) {
        const TextView::LinesEdit edit = TextView::indentLines(m_document->storage(), m_anchor, m_caret, m_indentStyle);
        applyEdits(edit.edits, edit.anchor, edit.caret);
        return;
    }
    const std::size_t start = textSelection().location;
    const std::size_t column = TextView::visualColumn(lineTextBefore(start), m_indentStyle.width);
    insertTyped(TextView::tabInsertion(column, m_indentStyle));
}

void STTextView::outdentSelection()
{
    if (!m_editable)
        return;
    const TextView::LinesEdit edit = TextView::outdentLines(m_document->storage(), m_anchor, m_caret, m_indentStyle);
    if (!edit.edits.empty())
        applyEdits(edit.edits, edit.anchor, edit.caret);
}

void STTextView::copy()
{
    const TextRange selection = textSelection();
    if (selection.length == 0)
        return;
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(m_document->text(selection)));
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
    insertPasted(textSelection(), text);
    ensureCaretVisible();
}

bool STTextView::insertPasted(TextRange range, const QString &text)
{
    return replaceCharacters(range, normalizedLineBreaks(text), false);
}

void STTextView::deleteBackward()
{
    if (!m_editable)
        return;
    TextRange range = textSelection();
    if (range.length == 0) {
        std::size_t previous = m_document->previousGrapheme(m_caret);
        // In an indentation of spaces, Backspace takes a whole level back to the previous stop.
        const std::size_t lineStart = m_document->lineStartOf(m_caret);
        if (!m_indentStyle.tabs && m_caret > lineStart && m_caret - lineStart <= 256)
            if (const auto count = TextView::backspaceToStop(m_document->text({lineStart, m_caret - lineStart}), m_indentStyle))
                previous = m_caret - *count;
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
        range = {m_caret, m_document->nextGrapheme(m_caret) - m_caret};
    if (range.length)
        replaceCharacters(range, u"", false);
    ensureCaretVisible();
}

void STTextView::killRange(TextRange range, DeleteAction action)
{
    if (!m_editable || range.length == 0)
        return;
    m_yanking.kill(action, m_document->text(range));
    m_yanking.setYanking(false);
    replaceCharacters(range, u"", false);
    ensureCaretVisible();
}

void STTextView::deleteWordBackward()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t start = m_document->previousWordStart(m_caret);
        range = {start, m_caret - start};
    }
    killRange(range, DeleteAction::DeleteWordBackward);
}

void STTextView::deleteWordForward()
{
    TextRange range = textSelection();
    if (range.length == 0)
        range = {m_caret, m_document->nextWordEnd(m_caret) - m_caret};
    killRange(range, DeleteAction::DeleteWordForward);
}

void STTextView::deleteToBeginningOfLine()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t start = m_document->lineStartOf(m_caret);
        range = {start, m_caret - start};
    }
    killRange(range, DeleteAction::DeleteToBeginningOfLine);
}

void STTextView::deleteToEndOfLine()
{
    TextRange range = textSelection();
    if (range.length == 0) {
        const std::size_t end = m_document->lineEndOf(m_caret);
        // At the end of a line the line break itself is killed, joining the next line.
        range = {m_caret, end > m_caret ? end - m_caret : (m_caret < m_document->length() ? 1 : 0)};
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
