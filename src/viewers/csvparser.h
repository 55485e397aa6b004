#pragma once

#include "viewers/textmatch.h"

#include "base/largebuffer.h"
#include "base/text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Viewers {

// A fresh random 128-bit identifier; every parse makes a new one.
using TableId = std::array<std::uint8_t, 16>;

// One data row, materialised on request.
struct CSVRow {
    std::size_t id = 0;               // Position among the data rows, from 0.
    std::vector<std::u16string> cells; // As many as the row had, quoting removed, untrimmed.

    friend bool operator==(const CSVRow &, const CSVRow &) = default;
};

namespace Internal {
// A cell is a span of the source text; `needsUnescape` is set when the span holds a double
// quote, in which case the cell text is the span with the quoting rules applied again (every
// field starts outside quotes, so the span alone determines its text).
struct CellSpan {
    std::uint32_t start;
    std::uint32_t lengthAndFlag; // length << 1 | needsUnescape
};
struct TableStorage;
} // namespace Internal

// A parsed CSV document: a header row and data rows of text cells. Cells are stored as spans
// into a shared copy of the text, so a 50 MB document costs 8 bytes per cell rather than one
// heap string per cell. Copies share that storage and are cheap. Rows may differ in length.
class CSVTable {
public:
    // No headers, no rows, an all-zero id.
    CSVTable();

    const TableId &id() const { return m_id; }

    std::size_t headerCount() const;
    // Header `column`; empty for a column at or past headerCount().
    std::u16string header(std::size_t column) const;
    std::vector<std::u16string> headers() const;

    std::size_t rowCount() const;
    // Number of cells of data row `row` (< rowCount()).
    std::size_t cellCount(std::size_t row) const;
    // Text of cell `column` of data row `row`; empty past the row's end.
    std::u16string cell(std::size_t row, std::size_t column) const;
    // The same without allocating when the cell needs no unescaping: the view points either into
    // the table's text or into `scratch`, and lives until either changes.
    std::u16string_view cellView(std::size_t row, std::size_t column, std::u16string &scratch) const;
    std::u16string_view headerView(std::size_t column, std::u16string &scratch) const;
    // Data row `row` (< rowCount()) with its cells materialised.
    CSVRow row(std::size_t row) const;

    // The largest of the header count and every data row's cell count.
    std::size_t columnCount() const;

    // Data rows whose cell count differs from the header's (ragged rows), in document order,
    // and their number. Read from the row lengths the parse recorded; parsing is unchanged.
    std::vector<std::size_t> raggedRows() const;
    std::size_t raggedRowCount() const;

    // Field by field: the id, then headers and rows.
    friend bool operator==(const CSVTable &a, const CSVTable &b);

private:
    friend class CSVParser;
    // Cell index range [first, end) of storage row `storageRow`.
    std::u16string_view spanText(std::size_t cellIndex, std::u16string &scratch) const;

    TableId m_id{};
    std::shared_ptr<const Internal::TableStorage> m_storage;
};

class CSVParser {
public:
    // Parses `text` with `delimiter`, one Unicode scalar (the window passes u","). Only the first
    // scalar of `delimiter` is used; an empty delimiter splits no field. A leading U+FEFF is
    // skipped; quotes open anywhere in a field; a doubled quote inside quotes is one quote; CR,
    // LF and CR LF end rows outside quotes; a blank line is a row of one empty cell; a final line
    // break adds no row and a final delimiter adds an empty cell; an unterminated quoted field
    // runs to the end of the text and is kept. Leading all-empty rows are skipped, the first row
    // with a non-empty cell is the header row. The table copies the text.
    // Texts of 2^31 UTF-16 units or more (far above the 50 MB load limit) are parsed only up to
    // that length.
    static CSVTable parse(std::u16string_view text, std::u16string_view delimiter = u",");
    // The same, taking over `text` instead of copying it.
    static CSVTable parse(Base::U16Buffer &&text, std::u16string_view delimiter = u",");

    // Every row of the text, each a list of cell texts, before headers are picked.
    static std::vector<std::vector<std::u16string>> lineCells(std::u16string_view text,
                                                             std::u16string_view delimiter = u",");
};

// User-perceived characters, as every view counts them (base/text.h).
using Base::Text::graphemeCount;

// Column widths in points, columnCount() of them: the widest of the header and the first 200
// data rows in characters × 8.5 + 16, clamped to 80–420. Later rows do not count.
std::vector<double> columnWidths(const CSVTable &table);

// A cell holding what a find looks for.
struct CSVCellMatch {
    static constexpr std::uint32_t headerRow = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t row = 0; // A data row (CSVRow id), or headerRow.
    std::uint32_t column = 0;

    friend bool operator==(const CSVCellMatch &, const CSVCellMatch &) = default;
};

// The cells whose text (quoting removed, as the table shows it) holds `matcher`'s needle, in
// the order the table shows them: the header cells left to right, then the data rows in
// `order` (display position -> data row, as sortedRowOrder gives it; empty, or of another
// length than rowCount(), for document order) with each row's cells left to right. A cell is listed once however often it holds the needle;
// cells past a ragged row's end hold nothing. An empty needle finds nothing. Linear in the
// table's text.
std::vector<CSVCellMatch> findCells(const CSVTable &table, const TextMatcher &matcher,
                                    std::span<const std::uint32_t> order = {});

inline constexpr std::size_t widthSampleRows = 200;
inline constexpr double pointsPerCharacter = 8.5;
inline constexpr double columnPadding = 16;
inline constexpr double minimumColumnWidth = 80;
inline constexpr double maximumColumnWidth = 420;

} // namespace Viewers
