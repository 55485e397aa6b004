#include "stextlayout.h"

#include "base/utf.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

using TextView::WrapRows;

STTextLayout::STTextLayout(const TextView::TextStorage &storage, const STTextViewStyle &style)
    : m_storage(storage), m_style(style)
{
    m_rows.assign(m_storage.lines());
}

// ---------------------------------------------------------------------------------------------
// Geometry

void STTextLayout::setMetrics(const QFont &font, qreal lineHeightMultiple)
{
    m_font = font;
    const QFontMetricsF metrics(font);
    m_charWidth = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_rowHeight = std::max(1, int(std::lround(metrics.lineSpacing() * lineHeightMultiple)));
}

void STTextLayout::setWidth(bool wraps, int textWidth)
{
    m_wraps = wraps;
    m_textWidth = textWidth;
}

std::uint32_t STTextLayout::columns() const
{
    return m_wraps ? std::uint32_t(std::max<qreal>(1, std::floor(m_textWidth / m_charWidth))) : 0;
}

bool STTextLayout::updateWrapColumns()
{
    const std::uint32_t wanted = columns();
    if (wanted == m_rows.wrapColumns())
        return false;
    m_rows.setWrapColumns(wanted, m_storage.lines());
    return true;
}

void STTextLayout::relayout()
{
    m_layouts.clear();
    m_widestMeasured = 0;
    m_rows.setWrapColumns(columns(), m_storage.lines());
}

// ---------------------------------------------------------------------------------------------
// Following the text

void STTextLayout::textReplaced(const TextView::EditReport &report)
{
    const std::size_t first = report.firstLine;
    const std::size_t lastOld = first + report.removedLineBreaks;
    m_rows.replaceLines(first, report.removedLineBreaks + 1, report.insertedLineBreaks + 1, m_storage.lines());
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
        return;
    }
    std::map<std::size_t, LineLayout> shifted;
    for (auto &[line, layout] : m_layouts) {
        if (line < first)
            shifted.emplace(line, std::move(layout));
        else if (line > lastOld)
            shifted.emplace(std::size_t(std::ptrdiff_t(line) + lineDelta), std::move(layout));
    }
    m_layouts = std::move(shifted);
}

void STTextLayout::attributesChanged(std::size_t start, std::size_t length)
{
    invalidateLines(m_storage.lineAt(start), m_storage.lineAt(start + length));
}

void STTextLayout::reset()
{
    m_layouts.clear();
    m_widestMeasured = 0;
    m_rows.assign(m_storage.lines());
    updateWrapColumns();
}

void STTextLayout::invalidateLines(std::size_t first, std::size_t last)
{
    m_layouts.erase(m_layouts.lower_bound(first), m_layouts.upper_bound(last));
}

void STTextLayout::trimCache(std::size_t topLine, std::size_t visibleRows)
{
    if (m_layouts.size() < 300)
        return;
    const std::size_t low = topLine > 100 ? topLine - 100 : 0;
    const std::size_t high = topLine + visibleRows + 100;
    m_layouts.erase(m_layouts.begin(), m_layouts.lower_bound(low));
    m_layouts.erase(m_layouts.upper_bound(high), m_layouts.end());
}

void STTextLayout::setPreedit(std::size_t position, const QString &text, int cursor,
                              const QList<QTextLayout::FormatRange> &formats)
{
    clearPreedit();
    m_preeditAt = position;
    m_preedit = text;
    m_preeditCursor = cursor;
    m_preeditFormats = formats;
    const std::size_t line = m_storage.lineAt(position);
    invalidateLines(line, line);
}

void STTextLayout::clearPreedit()
{
    if (m_preedit.isEmpty() && m_preeditFormats.isEmpty())
        return;
    const std::size_t line = m_storage.lineAt(m_preeditAt);
    m_preedit.clear();
    m_preeditFormats.clear();
    invalidateLines(line, line);
}

// ---------------------------------------------------------------------------------------------
// Pieces: lines longer than the piece length are laid out in pieces, each starting a new row.

std::size_t STTextLayout::pieceCount(std::size_t line) const
{
    const std::size_t length = m_storage.lineLength(line);
    const std::size_t piece = m_rows.pieceLength();
    return length <= WrapRows::SinglePieceLimit ? 1 : (length + piece - 1) / piece;
}

std::size_t STTextLayout::pieceStart(std::size_t line, std::size_t piece) const
{
    if (piece == 0)
        return 0;
    const std::size_t length = m_storage.lineLength(line);
    std::size_t start = std::min(length, piece * m_rows.pieceLength());
    const std::size_t absolute = m_storage.lineStart(line) + start;
    // Never split a surrogate pair between two pieces.
    if (start > 0 && start < length && Base::Utf::isHighSurrogate(m_storage.at(absolute - 1))
        && Base::Utf::isLowSurrogate(m_storage.at(absolute)))
        ++start;
    return start;
}

std::size_t STTextLayout::pieceOf(std::size_t line, std::size_t offset) const
{
    const std::size_t count = pieceCount(line);
    if (count == 1)
        return 0;
    std::size_t piece = std::min(count - 1, offset / m_rows.pieceLength());
    if (piece > 0 && offset < pieceStart(line, piece))
        --piece;
    return piece;
}

std::uint32_t STTextLayout::pieceRows(std::size_t line, std::size_t piece) const
{
    const std::size_t count = pieceCount(line);
    if (count == 1)
        return m_rows.rows(line);
    if (!m_wraps)
        return 1;
    const std::size_t pieceLength = m_rows.pieceLength();
    const std::size_t length = m_storage.lineLength(line);
    const std::size_t units = piece + 1 < count ? pieceLength : length - piece * pieceLength;
    const std::size_t columns = std::max<std::uint32_t>(1, m_rows.wrapColumns());
    return std::uint32_t(std::max<std::size_t>(1, (units + columns - 1) / columns));
}

std::size_t STTextLayout::pieceFirstRow(std::size_t, std::size_t piece) const
{
    if (piece == 0)
        return 0;
    if (!m_wraps)
        return piece;
    const std::size_t columns = std::max<std::uint32_t>(1, m_rows.wrapColumns());
    return piece * ((m_rows.pieceLength() + columns - 1) / columns);
}

QTextLayout *STTextLayout::layoutFor(std::size_t line, std::size_t piece)
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

    auto layout = std::make_unique<QTextLayout>(text, m_font);
    QTextOption option;
    option.setTabStopDistance(m_charWidth * m_tabColumns);
    if (!m_wraps)
        option.setWrapMode(QTextOption::NoWrap);
    else
        option.setWrapMode(count > 1 ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);

    // An input method's preedit text sits inside the line; formats after it move along.
    int preeditAt = -1;
    if (!m_preedit.isEmpty()) {
        const std::size_t preeditLine = m_storage.lineAt(m_preeditAt);
        const std::size_t offset = m_preeditAt - m_storage.lineStart(preeditLine);
        if (preeditLine == line && pieceOf(line, offset) == piece)
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
                range.format.setForeground(m_style.syntaxColor(classes[runStart]));
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
    const qreal width = m_wraps ? qreal(m_textWidth) : 1e7;
    for (;;) {
        QTextLine textLine = layout->createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(width);
        textLine.setPosition(QPointF(0, rows * m_rowHeight + (m_rowHeight - textLine.height()) / 2));
        ++rows;
    }
    layout->endLayout();
    if (count == 1 && m_wraps)
        m_rows.setMeasuredRows(line, std::uint32_t(std::max(rows, 1)));
    if (!m_wraps)
        m_widestMeasured = std::max(m_widestMeasured, layout->maximumWidth());

    Piece entry;
    entry.start = start;
    entry.length = end - start;
    entry.layout = std::move(layout);
    QTextLayout *result = entry.layout.get();
    cached.pieces.emplace(piece, std::move(entry));
    return result;
}

// ---------------------------------------------------------------------------------------------
// Hit testing

STTextLayout::RowHit STTextLayout::rowAt(std::size_t globalRow)
{
    const TextView::RowPosition position = m_rows.lineAtRow(globalRow);
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

std::size_t STTextLayout::globalRowOf(std::size_t position, qreal *x)
{
    position = std::min(position, m_storage.length());
    const std::size_t line = m_storage.lineAt(position);
    const std::size_t offset = position - m_storage.lineStart(line);
    const std::size_t piece = pieceOf(line, offset);
    QTextLayout *layout = layoutFor(line, piece);
    // At the caret an input method's preedit text is part of the layout: count its cursor too.
    const int inPiece = int(offset - pieceStart(line, piece))
                        + (position == m_preeditAt && !m_preedit.isEmpty() ? m_preeditCursor : 0);
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
    return m_rows.rowOfLine(line) + pieceFirstRow(line, piece) + std::size_t(row);
}

std::size_t STTextLayout::positionAtRow(std::size_t globalRow, qreal x)
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
    if (position > 0 && position < m_storage.length() && Base::Utf::isLowSurrogate(m_storage.at(position))
        && Base::Utf::isHighSurrogate(m_storage.at(position - 1)))
        --position;
    return position;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void STTextLayout::paint(QPainter &painter, const PaintState &state)
{
    painter.fillRect(state.clip, m_style.background);
    painter.setPen(m_style.text);
    const std::size_t caretLine = m_storage.lineAt(state.caret);
    qint64 y = -qint64(state.topRowInLine) * m_rowHeight;
    for (std::size_t line = state.topLine; line < m_storage.lineCount() && y < state.height; ++line) {
        const std::size_t count = pieceCount(line);
        if (count == 1)
            layoutFor(line, 0); // measures the rows of the line
        const std::uint32_t rows = m_rows.rows(line);
        const qint64 lineTop = y;
        y += qint64(rows) * m_rowHeight;
        if (y <= state.clip.top() || lineTop >= state.clip.bottom() + 1)
            continue;
        // The caret's line gets the highlight; of a line laid out in pieces only the caret's piece.
        if (state.highlightCaretLine && line == caretLine && count == 1)
            painter.fillRect(QRectF(0, qreal(lineTop), state.width, qreal(rows) * m_rowHeight), m_style.currentLine);
        std::size_t firstPiece = 0;
        if (count > 1 && lineTop < 0) {
            const std::size_t rowsPerPiece = std::max<std::size_t>(1, pieceFirstRow(line, 1));
            firstPiece = std::min(count - 1, std::size_t(-lineTop / m_rowHeight) / rowsPerPiece);
        }
        for (std::size_t piece = firstPiece; piece < count; ++piece) {
            const qint64 pieceTop = lineTop + qint64(pieceFirstRow(line, piece)) * m_rowHeight;
            if (pieceTop >= state.height)
                break;
            paintPiece(painter, state, line, piece, lineTop);
        }
    }
}

void STTextLayout::paintPiece(QPainter &painter, const PaintState &state, std::size_t line, std::size_t piece,
                              qint64 lineTop)
{
    const std::size_t count = pieceCount(line);
    const qint64 pieceTop = lineTop + qint64(pieceFirstRow(line, piece)) * m_rowHeight;
    QTextLayout *layout = layoutFor(line, piece);
    const std::size_t lineStart = m_storage.lineStart(line);
    const std::size_t pieceAbsolute = lineStart + pieceStart(line, piece);
    const std::size_t pieceEnd = lineStart + (piece + 1 < count ? pieceStart(line, piece + 1) : m_storage.lineLength(line));
    const QPointF origin(state.left, qreal(pieceTop));
    const std::size_t selectionStart = state.selection.location;
    const std::size_t selectionEnd = state.selection.end();
    const bool caretInPiece = state.caret >= pieceAbsolute
                              && (state.caret < pieceEnd || (state.caret == pieceEnd && piece + 1 == count));
    if (state.highlightCaretLine && count > 1 && caretInPiece)
        painter.fillRect(QRectF(0, qreal(pieceTop), state.width, qreal(pieceRows(line, piece)) * m_rowHeight),
                         m_style.currentLine);
    auto clipRange = [&](std::size_t a, std::size_t b, QTextLayout::FormatRange &range) {
        a = std::max(a, pieceAbsolute);
        b = std::min(b, pieceEnd);
        if (a >= b)
            return false;
        range.start = int(a - pieceAbsolute);
        range.length = int(b - a);
        return true;
    };
    // Backgrounds (error line, find matches, selection) fill whole rows, so that they join up
    // across the extra line height.
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
        painter.setClipRect(QRectF(0, qreal(pieceTop), state.width, qreal(pieceRows(line, piece)) * m_rowHeight),
                            Qt::IntersectClip);
    for (const TextView::Decoration &d : m_storage.decorations()) {
        if (qAlpha(d.background))
            fillRange(d.start, d.start + d.length, QColor::fromRgba(d.background));
    }
    const std::size_t needleLength = state.matchLength;
    const std::vector<std::size_t> &matches = *state.matches;
    if (needleLength && !matches.empty()) {
        const std::size_t from = pieceAbsolute >= needleLength ? pieceAbsolute - needleLength + 1 : 0;
        for (auto it = std::lower_bound(matches.begin(), matches.end(), from); it != matches.end() && *it < pieceEnd; ++it) {
            const bool current = state.selection.location == *it && state.selection.length == needleLength;
            fillRange(*it, *it + needleLength, current ? m_style.currentMatch : m_style.match);
        }
    }
    // A selected match shows in the current-match colour alone.
    const bool selectionIsMatch = needleLength && state.selection.length == needleLength
                                  && std::binary_search(matches.begin(), matches.end(), state.selection.location);
    if (selectionStart != selectionEnd && !selectionIsMatch)
        fillRange(selectionStart, selectionEnd, m_style.selection);
    layout->draw(&painter, origin, {}, state.clip);

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
                         m_style.selection);
    }
    // Caret (with the input method's preedit cursor inside the preedit text).
    if (state.drawCaret && caretInPiece) {
        const int position = int(state.caret - pieceAbsolute) + (m_preedit.isEmpty() ? 0 : m_preeditCursor);
        painter.setPen(m_style.text);
        layout->drawCursor(&painter, origin, position, 2);
    }
    painter.restore();
}
