// The text view's input: keys, the mouse, the context menu, focus and input methods.
#include "stextview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>

using TextView::TextRange;

// ---------------------------------------------------------------------------------------------
// Keyboard

bool STTextView::event(QEvent *event)
{
    // The find bar changed its height (its buttons took or left a row of their own).
    if (event->type() == QEvent::LayoutRequest)
        updateViewportMargins();
    if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys belong to the text while it has focus, even when a menu uses them.
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        const bool plainText = !key->text().isEmpty() && key->text().at(0).isPrint()
                               && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plainText || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)
            || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Undo)
            || key->matches(QKeySequence::Redo) || key->matches(QKeySequence::SelectAll)
            || key->matches(QKeySequence::Delete)
            || (modifiers == Qt::ControlModifier
                && (key->key() == Qt::Key_K || key->key() == Qt::Key_Y || key->key() == Qt::Key_Z))) {
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
        const std::size_t row = m_layout.globalRowOf(m_caret, &x);
        if (!m_desiredX)
            m_desiredX = x;
        const qreal desired = *m_desiredX;
        std::size_t target;
        const std::size_t total = m_layout.rows().totalRows();
        if (rows < 0 && std::size_t(-rows) > row)
            target = 0;
        else if (rows > 0 && row + std::size_t(rows) >= total)
            target = m_document->length();
        else
            target = m_layout.positionAtRow(std::size_t(std::ptrdiff_t(row) + rows), desired);
        if (m_selectable) {
            setSelection(shift ? m_anchor : target, target, true);
            m_desiredX = desired;
            ensureCaretVisible();
        }
    };

    // Ctrl+Y is Redo on Linux desktops; the kill ring's yank sits beside it on Ctrl+Shift+Y.
    if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Y) {
        yank();
    } else if (modifiers == Qt::ControlModifier && key == Qt::Key_Y) {
        redo();
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
        collapseOr(true, control ? m_document->previousWordStart(m_caret) : m_document->previousGrapheme(m_caret));
    } else if (key == Qt::Key_Right) {
        collapseOr(false, control ? m_document->nextWordEnd(m_caret) : m_document->nextGrapheme(m_caret));
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
        navigate(control ? 0 : m_document->lineStartOf(m_caret));
    } else if (key == Qt::Key_End) {
        navigate(control ? m_document->length() : m_document->lineEndOf(m_caret));
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        insertNewline();
    } else if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (modifiers & Qt::ControlModifier)) {
        // Tab is text here; Ctrl+Tab and Ctrl+Shift+Tab leave the text for the window's other
        // controls.
        QAbstractScrollArea::focusNextPrevChild(!(modifiers & Qt::ShiftModifier) && key == Qt::Key_Tab);
    } else if ((key == Qt::Key_Backtab || (key == Qt::Key_Tab && shift)) && !(modifiers & ~Qt::ShiftModifier)) {
        outdentSelection();
    } else if (key == Qt::Key_Tab && modifiers == Qt::NoModifier) {
        insertTab();
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
            insertPasted({position, 0}, text);
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
        const TextRange line = m_document->lineRangeWithBreak(position);
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
    const TextRange unit = m_granularity == Granularity::Word ? m_document->wordAt(position)
                                                              : m_document->lineRangeWithBreak(position);
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
    const int height = rowHeight();
    if (p.y() < 0)
        setTopRow(topRow() > std::size_t(1 + -p.y() / height) ? topRow() - std::size_t(1 + -p.y() / height) : 0);
    else if (p.y() > area.bottom())
        setTopRow(topRow() + std::size_t(1 + (p.y() - area.bottom()) / height));
    if (!m_layout.wraps()) {
        QScrollBar *bar = horizontalScrollBar();
        if (p.x() < 0)
            bar->setValue(bar->value() - int(m_layout.charWidth() * 2));
        else if (p.x() > area.right())
            bar->setValue(bar->value() + int(m_layout.charWidth() * 2));
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
            clipboard->setText(QString::fromStdU16String(m_document->text(selection)), QClipboard::Selection);
    }
}

void STTextView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_selectable || event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const TextRange word = m_document->wordAt(positionAt(point));
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
    menu.addAction(tr("Undo"), this, &STTextView::undo)->setEnabled(m_editable && m_document->canUndo());
    menu.addAction(tr("Redo"), this, &STTextView::redo)->setEnabled(m_editable && m_document->canRedo());
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
    const QString preedit = event->preeditString();
    int cursor = int(preedit.size());
    QList<QTextLayout::FormatRange> formats;
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            cursor = attribute.start;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
            if (format.isValid() && attribute.length > 0)
                formats.append({attribute.start, attribute.length, format});
        }
    }
    if (preedit.isEmpty() && formats.isEmpty())
        m_layout.clearPreedit();
    else
        m_layout.setPreedit(m_caret, preedit, cursor, formats);
    ensureCaretVisible();
    viewport()->update();
    event->accept();
}

QVariant STTextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    auto *self = const_cast<STTextView *>(this);
    const std::size_t lineStart = m_document->lineStartOf(m_caret);
    const std::size_t lineEnd = m_document->lineEndOf(m_caret);
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
        return QString::fromStdU16String(m_document->text({from, to - from}));
    case Qt::ImCurrentSelection: {
        const TextRange selection = textSelection();
        return QString::fromStdU16String(m_document->text({selection.location, std::min<std::size_t>(selection.length, 65536)}));
    }
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImMaximumTextLength:
        return QVariant();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
