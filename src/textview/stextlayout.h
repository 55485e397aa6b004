#pragma once

#include "textview/stextviewstyle.h"
#include "textview/textrange.h"
#include "textview/textstorage.h"
#include "textview/wraprows.h"

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

class QPainter;

// The layout of one view of a text: which visual rows each line takes at the view's width (its
// own WrapRows, so that two views of one text wrap independently), a QTextLayout per shown line
// (lines over WrapRows::SinglePieceLimit units are laid out in pieces of
// WrapRows::pieceLength() units, each starting a new row), hit testing between positions and
// rows, and the drawing of rows. Only what is asked for is laid out; the owner trims the cache
// around what it shows.
//
// Rows are global: row 0 is the first row of the first line. Positions are UTF-16 units of the
// storage. The layout reads the storage and the style it is given; both must outlive it.
class STTextLayout {
public:
    STTextLayout(const TextView::TextStorage &storage, const STTextViewStyle &style);

    // ---- Geometry -------------------------------------------------------------------------

    // The font's metrics with `lineHeightMultiple` give the row height; callers relayout().
    void setMetrics(const QFont &font, qreal lineHeightMultiple);
    int rowHeight() const { return m_rowHeight; }
    qreal charWidth() const { return m_charWidth; }
    // Columns of the font's 'M' a tab spans; callers relayout().
    void setTabColumns(int columns) { m_tabColumns = std::max(1, columns); }
    int tabColumns() const { return m_tabColumns; }
    // Wrapping at `textWidth` pixels, or none; callers relayout() or updateWrapColumns().
    void setWidth(bool wraps, int textWidth);
    bool wraps() const { return m_wraps; }
    int textWidth() const { return m_textWidth; }
    // Columns that fit the width in the font's 'M', 0 when not wrapping.
    std::uint32_t columns() const;
    // Re-estimates the rows only when the column count changed; true when it did.
    bool updateWrapColumns();
    // Drops every layout and re-estimates every line's rows.
    void relayout();
    // Widest line laid out so far without wrapping (for the horizontal scroll range).
    qreal widestMeasured() const { return m_widestMeasured; }

    const TextView::WrapRows &rows() const { return m_rows; }

    // ---- Following the text ---------------------------------------------------------------

    // After an edit of the storage: rows of the edited lines re-estimated, layouts of lines
    // after it renumbered, those it touched dropped.
    void textReplaced(const TextView::EditReport &report);
    // Syntax classes or decorations changed over [start, start + length).
    void attributesChanged(std::size_t start, std::size_t length);
    // The whole text changed.
    void reset();
    void invalidateLines(std::size_t first, std::size_t last);
    void clearCache() { m_layouts.clear(); }
    // Keeps the layouts of lines near [topLine, topLine + visibleRows), once there are many.
    void trimCache(std::size_t topLine, std::size_t visibleRows);
    std::size_t cachedLayoutCount() const { return m_layouts.size(); }

    // An input method's uncommitted text, shown at `position` (the caret) inside its line.
    // `cursor` is the input method's cursor within it; `formats` are relative to its start.
    void setPreedit(std::size_t position, const QString &text, int cursor, const QList<QTextLayout::FormatRange> &formats);
    // Drops the preedit text (the caret's line is laid out again).
    void clearPreedit();
    const QString &preeditText() const { return m_preedit; }
    int preeditCursor() const { return m_preeditCursor; }
    // The preedit text follows the caret when someone else edits the text.
    void movePreedit(std::size_t position) { m_preeditAt = position; }

    // ---- Pieces ---------------------------------------------------------------------------

    std::size_t pieceCount(std::size_t line) const;
    // Start of `piece` within its line; never inside a surrogate pair.
    std::size_t pieceStart(std::size_t line, std::size_t piece) const;
    std::size_t pieceOf(std::size_t line, std::size_t offset) const;
    std::uint32_t pieceRows(std::size_t line, std::size_t piece) const;
    // First row of `piece` within its line.
    std::size_t pieceFirstRow(std::size_t line, std::size_t piece) const;
    // The layout of one piece, made on first use; measuring a whole line refines its rows.
    QTextLayout *layoutFor(std::size_t line, std::size_t piece);

    // ---- Hit testing ----------------------------------------------------------------------

    struct RowHit {
        std::size_t line;
        std::size_t piece;
        int textLine; // within the piece's layout
    };
    RowHit rowAt(std::size_t globalRow);
    // The row showing `position`, and its x within the text in `x`. At the preedit position the
    // input method's cursor counts too.
    std::size_t globalRowOf(std::size_t position, qreal *x = nullptr);
    // The position nearest to `x` on `globalRow`; never inside a surrogate pair, and on a
    // wrapped row never the start of the next row.
    std::size_t positionAtRow(std::size_t globalRow, qreal x);

    // ---- Drawing --------------------------------------------------------------------------

    struct PaintState {
        QRect clip;
        int width = 0;
        int height = 0;
        qreal left = 0; // x of the text's left edge, after horizontal scrolling
        std::size_t topLine = 0;
        std::uint32_t topRowInLine = 0;
        TextView::TextRange selection;
        std::size_t caret = 0;
        bool drawCaret = false;
        bool highlightCaretLine = false;
        const std::vector<std::size_t> *matches = nullptr;
        std::size_t matchLength = 0;
    };
    // Paints the rows from `state.topLine` down to the bottom: backgrounds (decorations, matches,
    // selection), the text, underlines and the caret.
    void paint(QPainter &painter, const PaintState &state);

private:
    struct Piece {
        std::size_t start = 0; // within the line
        std::size_t length = 0;
        std::unique_ptr<QTextLayout> layout;
    };
    struct LineLayout {
        std::map<std::size_t, Piece> pieces; // by piece index
    };
    void paintPiece(QPainter &painter, const PaintState &state, std::size_t line, std::size_t piece, qint64 lineTop);

    const TextView::TextStorage &m_storage;
    const STTextViewStyle &m_style;
    TextView::WrapRows m_rows;
    std::map<std::size_t, LineLayout> m_layouts;
    QFont m_font;
    int m_rowHeight = 16;
    qreal m_charWidth = 8;
    int m_tabColumns = 4;
    bool m_wraps = true;
    int m_textWidth = 400;
    qreal m_widestMeasured = 0;
    QString m_preedit;
    int m_preeditCursor = 0;
    std::size_t m_preeditAt = 0;
    QList<QTextLayout::FormatRange> m_preeditFormats; // relative to the preedit start
};
