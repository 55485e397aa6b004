#pragma once

#include "textview/lineindex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TextView {

// How many visual rows each line of a text takes in one view: the view's own, so that two views
// of one text can wrap at different widths. Rows start as estimates from a monospaced column
// count and are replaced by measured values for the lines the view actually lays out. Lines live
// in blocks with Fenwick trees over the block sums, like the LineIndex they mirror: lookups cost
// O(log n + block), an edit of a few lines O(block + number of blocks).
//
// The entries follow the lines of a LineIndex: the owner calls assign() when the text is
// replaced and replaceLines() after every edit, passing the index as it is after the change.
class WrapRows {
public:
    // Lines up to this many code units are laid out whole; longer ones in pieces of
    // pieceLength() units, each starting a new row (the guard for giant lines).
    static constexpr std::uint32_t SinglePieceLimit = 8192;
    static constexpr std::uint32_t DefaultPieceLength = 1024;

    WrapRows();

    // One estimated entry per line of `lines`; measured values are dropped.
    void assign(const LineIndex &lines);
    // The text replaced `count` lines from `first` by `newCount` lines, whose lengths `lines` now
    // holds: their rows are estimated afresh, every other line keeps its own.
    void replaceLines(std::size_t first, std::size_t count, std::size_t newCount, const LineIndex &lines);

    // `columns` 0 means no wrapping (one row per piece). Re-estimates every line of `lines`;
    // measured values are dropped.
    void setWrapColumns(std::uint32_t columns, const LineIndex &lines, std::uint32_t pieceLength = DefaultPieceLength);
    std::uint32_t wrapColumns() const { return m_columns; }
    std::uint32_t pieceLength() const { return m_pieceLength; }
    // Rows of a line of `length` units by the current column count: at least 1.
    std::uint32_t estimateRows(std::size_t length) const;

    std::size_t lineCount() const { return m_lineCount; }
    std::size_t totalRows() const { return m_totalRows; }
    // Lines past the end are clamped to the last line.
    std::uint32_t rows(std::size_t line) const;
    bool isMeasured(std::size_t line) const;
    // Stores a measured row count for `line` (raised to 1); ignored past the last line.
    void setMeasuredRows(std::size_t line, std::uint32_t rows);
    // First visual row of `line`.
    std::size_t rowOfLine(std::size_t line) const;
    // The line shown at visual row `row` (clamped to the last row).
    RowPosition lineAtRow(std::size_t row) const;

private:
    struct Block {
        // One entry per line, high bit: measured. Empty while every line of the block takes one
        // estimated row, which is most blocks of most texts: a load then writes no entries.
        std::vector<std::uint32_t> rows;
        std::size_t lines = 0; // equals rows.size() whenever rows is not empty
        std::uint64_t rowSum = 0;
        std::uint32_t at(std::size_t index) const { return rows.empty() ? 1 : rows[index]; }
    };
    static constexpr std::size_t TargetBlock = 256;
    static constexpr std::uint32_t MeasuredBit = 0x80000000u;
    struct Location {
        std::size_t block;
        std::size_t index;
    };
    Location locateLine(std::size_t line) const;
    void rebuildTrees();
    static void recomputeBlock(Block &block);
    // Gives a compact block its entries, before one of them changes.
    static void expand(Block &block);
    // Writes the estimates of lines [first, first + count) of `lines` to `out`.
    void estimate(const LineIndex &lines, std::size_t first, std::size_t count, std::uint32_t *out) const;

    std::vector<Block> m_blocks;
    std::vector<std::int64_t> m_lineTree, m_rowTree;
    std::size_t m_lineCount = 0;
    std::uint64_t m_totalRows = 0;
    std::uint32_t m_columns = 0;
    std::uint32_t m_pieceLength = DefaultPieceLength;
};

} // namespace TextView
