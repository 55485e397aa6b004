#pragma once

#include "viewers/csvparser.h"
#include "viewers/csvsort.h"
#include "viewers/rowscrollarea.h"
#include "viewers/searchable.h"

#include <QColor>
#include <QFont>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace Viewers {

// The CSV table: a grid scrolling both ways under a pinned header row, columns as wide as
// columnWidths(), cell text wrapping within its column and each row as tall as its tallest
// cell. Only rows on screen are measured and laid out, so a million rows cost no more than a
// screenful. A clicked cell is selected (the arrow keys move the selection) and its text
// copied with the Copy shortcut or the context menu. With no headers the view shows "Empty CSV".
// Clicking a header sorts a view of the rows by that column (ascending, descending, document
// order again), never the text; rows with more or fewer cells than the header are tinted.
// Find looks through the header and the rows as shown: a match is a cell, the current one is
// the selected cell, and every occurrence in a cell on screen is marked.
class CSVTableView : public Internal::RowScrollArea, public Searchable {
    Q_OBJECT

public:
    explicit CSVTableView(QWidget *parent = nullptr);
    ~CSVTableView() override;

    // Shows `table`, keeping the scroll position, the selected cell and the sort where they
    // still exist (a newer parse of the same document).
    void setTable(CSVTable table);
    const CSVTable &table() const { return m_table; }

    std::size_t columnCount() const { return m_table.columnCount(); }
    const std::vector<double> &columnWidths() const { return m_widths; }

    // The sorted column, none for document order. Sorting keeps the selection (a data row) and
    // brings it into view.
    std::optional<std::size_t> sortColumn() const { return m_sortColumn; }
    CSVSortOrder sortOrder() const { return m_sortOrder; }
    void setSort(std::optional<std::size_t> column, CSVSortOrder order = CSVSortOrder::Ascending);
    // The data row shown at display position `position`, and back.
    std::size_t rowAt(std::size_t position) const { return m_order.empty() ? position : m_order[position]; }
    std::size_t positionOf(std::size_t row) const { return m_positions.empty() ? row : m_positions[row]; }

    // Data rows whose cell count differs from the header's, in document order.
    const std::vector<std::size_t> &raggedRows() const { return m_ragged; }
    std::size_t raggedRowCount() const { return m_ragged.size(); }
    bool isRagged(std::size_t row) const { return m_table.cellCount(row) != m_table.headerCount(); }
    // "Row 4 has 2 cells; the header has 3" (rows counted from 1).
    QString raggedRowToolTip(std::size_t row) const;
    // A status note for `count` ragged rows: "1 ragged row", "12 ragged rows", empty for none.
    static QString raggedRowsNote(std::size_t count);
    // The faint warning tint over ragged rows, for the view's palette.
    QColor raggedTint() const;

    // Header cell `column` in viewport coordinates (for hit tests and tests).
    QRect headerCellRect(std::size_t column) const;

    struct Cell {
        static constexpr std::size_t headerRow = std::size_t(-1);
        std::size_t row = 0; // A data row (CSVRow id), whatever the sort, or headerRow.
        std::size_t column = 0;
        bool operator==(const Cell &) const = default;
    };
    std::optional<Cell> selectedCell() const { return m_selected; }
    void setSelectedCell(std::optional<Cell> cell);
    // The selected cell's text, empty without a selection.
    QString selectedText() const;
    void copySelection() const;

    // Searchable.
    void setSearch(TextMatcher matcher) override;
    const TextMatcher &search() const override { return m_search; }
    std::size_t matchCount() const override { return m_matches.size(); }
    std::size_t currentMatchNumber() const override;
    bool findNext(SearchDirection direction, SearchStart start = SearchStart::AfterCurrent) override;

    // Monospaced fonts at the body text size: regular for cells, semibold for headers. The body
    // font is the editor's once the window gives it, the desktop's fixed-width font until then.
    const QFont &cellFont() const { return m_cellFont; }
    void setMonospacedFont(const QFont &font);

    static constexpr double widthReferencePointSize = 13;
    static constexpr int padding = 12;
    static constexpr int cellSpacing = 12;
    static constexpr int headerVerticalPadding = 4;
    static constexpr int rowVerticalPadding = 2;
    // Display of one cell stops after this many characters (a whole 50 MB field cannot be read
    // in a column at most 420 points wide anyway).
    static constexpr int maximumShownCharacters = 20'000;

signals:
    // The user or setSort() changed the sort, or a re-parse dropped a column it used.
    void sortChanged();
    // A new table has a different number of ragged rows.
    void raggedRowCountChanged(qsizetype count);
    // The matches of the search or the current one may have changed.
    void searchChanged();

protected:
    int measureRow(std::size_t row) override;
    void paintRow(QPainter &painter, std::size_t row, const QRect &rect) override;
    void paintOverlay(QPainter &painter) override;
    void paintBackground(QPainter &painter) override;
    int topInset() const override { return padding + m_headerHeight; }
    int bottomInset() const override { return padding; }
    int contentWidth() const override { return m_contentWidth; }

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    using RowLayouts = std::vector<std::unique_ptr<QTextLayout>>;
    void updateFonts();
    void rebuildGeometry();
    std::unique_ptr<QTextLayout> layoutCell(std::u16string_view text, const QFont &font, int width) const;
    // Layouts of the cells of data row `row` (measured at most once while cached).
    RowLayouts &rowLayouts(std::size_t row);
    int columnX(std::size_t column) const { return m_columnX[column]; }
    std::optional<Cell> cellAt(const QPoint &viewportPoint);
    void ensureCellVisible(const Cell &cell);
    bool measuresAllColumns() const;
    void applySort();
    std::optional<std::size_t> headerColumnAt(const QPoint &viewportPoint) const;
    int headerTop() const;
    // Where a cell is in the order shown: the header row first, then the rows as sorted.
    std::uint64_t shownOrder(std::size_t row, std::size_t column) const;
    std::uint64_t shownOrder(const CSVCellMatch &match) const;
    // The first match at or after a place in the order shown.
    std::vector<CSVCellMatch>::const_iterator firstMatchFrom(std::uint64_t order) const;
    bool isMatch(std::size_t row, std::size_t column) const;
    // The occurrences of the search in a laid-out cell, as marks for QTextLayout::draw.
    QList<QTextLayout::FormatRange> matchMarks(const QTextLayout &layout, bool current) const;
    void updateMatches();

    CSVTable m_table;
    std::vector<double> m_widths;
    std::vector<int> m_columnX;
    int m_contentWidth = 0;
    int m_headerHeight = 0;
    QFont m_cellFont;
    QFont m_headerFont;
    std::optional<QFont> m_bodyFont;
    RowLayouts m_headerLayouts;
    std::vector<int> m_headerTextWidths;
    // Keyed by data row: layouts do not depend on where the sort shows a row.
    std::unordered_map<std::size_t, RowLayouts> m_rowCache;
    std::optional<Cell> m_selected;
    std::optional<std::size_t> m_sortColumn;
    CSVSortOrder m_sortOrder = CSVSortOrder::Ascending;
    std::vector<std::uint32_t> m_order;     // Display position -> data row; empty: document order.
    std::vector<std::uint32_t> m_positions; // Data row -> display position.
    std::vector<std::size_t> m_ragged;
    TextMatcher m_search;
    std::vector<CSVCellMatch> m_matches; // In the order shown; follows the table and the sort.
};

} // namespace Viewers
