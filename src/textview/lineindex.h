#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TextView {

// Per-line bookkeeping for a text of LF-separated lines: each line's length and its number of
// visual rows. Lines live in blocks of a few hundred entries with Fenwick trees over the block
// sums, so lookups cost O(log n + block) and an edit touching a few lines costs O(block + number
// of blocks), never O(lines). Rows start as estimates (from a monospaced column count) and are
// replaced by measured values for the lines that are actually laid out.
class LineIndex {
public:
    // Lines up to this many code units are laid out whole; longer ones in pieces of
    // DefaultPieceLength units, each starting a new row (the guard for giant lines).
    static constexpr std::uint32_t SinglePieceLimit = 8192;
    static constexpr std::uint32_t DefaultPieceLength = 1024;

    LineIndex();

    // Starts over with a single empty line.
    void clear();
    // Replaces every line: one length per line (without its line feed); empty means one empty line.
    void assign(const std::vector<std::uint32_t> &lengths);

    std::size_t lineCount() const { return m_lineCount; }
    // Units of all lines plus their line feeds: equals the text length.
    std::size_t textLength() const { return m_totalSpan - 1; }
    // 0-based line; the caller keeps `line` < lineCount().
    std::size_t lineStart(std::size_t line) const;
    std::size_t lineLength(std::size_t line) const;
    // The line holding `position` (a position on a line feed belongs to the line it ends);
    // positions past the end map to the last line.
    std::size_t lineAt(std::size_t position) const;
    std::size_t longestLineLength() const;

    // Replaces `count` lines starting at `first` by lines of the given lengths (at least one).
    void replaceLines(std::size_t first, std::size_t count, const std::uint32_t *lengths,
                      std::size_t newCount);

    // Row estimation: `columns` 0 means no wrapping (one row per piece). Re-estimates every line
    // that was not measured since the last call; measured values are dropped.
    void setWrapColumns(std::uint32_t columns, std::uint32_t pieceLength = DefaultPieceLength);
    std::uint32_t wrapColumns() const { return m_columns; }
    std::uint32_t pieceLength() const { return m_pieceLength; }
    std::uint32_t estimateRows(std::size_t length) const;

    std::size_t totalRows() const { return m_totalRows; }
    std::uint32_t rows(std::size_t line) const;
    bool isMeasured(std::size_t line) const;
    // Stores a measured row count for `line` (at least 1).
    void setMeasuredRows(std::size_t line, std::uint32_t rows);
    // First visual row of `line`.
    std::size_t rowOfLine(std::size_t line) const;
    struct RowPosition {
        std::size_t line;
        std::uint32_t rowInLine;
    };
    // The line shown at visual row `row` (clamped to the last row).
    RowPosition lineAtRow(std::size_t row) const;

private:
    struct Block {
        std::vector<std::uint32_t> span; // length + 1 (the line feed, virtual for the last line)
        std::vector<std::uint32_t> rows; // high bit: measured
        std::uint64_t spanSum = 0;
        std::uint64_t rowSum = 0;
        std::uint32_t maxSpan = 0;
    };
    static constexpr std::size_t TargetBlock = 256;
    static constexpr std::uint32_t MeasuredBit = 0x80000000u;

    struct Location {
        std::size_t block;
        std::size_t index;
    };
    Location locateLine(std::size_t line) const;
    void rebuildTrees();
    void recomputeBlock(Block &block);
    static void fenwickBuild(std::vector<std::int64_t> &tree, const std::vector<std::int64_t> &values);
    static void fenwickAdd(std::vector<std::int64_t> &tree, std::size_t index, std::int64_t delta);
    static std::int64_t fenwickPrefix(const std::vector<std::int64_t> &tree, std::size_t count);
    // Largest count of leading blocks whose sum is <= target, and that sum.
    static std::size_t fenwickSearch(const std::vector<std::int64_t> &tree, std::int64_t target,
                                     std::int64_t &sumBefore);

    std::vector<Block> m_blocks;
    std::vector<std::int64_t> m_lineTree, m_spanTree, m_rowTree;
    std::size_t m_lineCount = 0;
    std::uint64_t m_totalSpan = 0;
    std::uint64_t m_totalRows = 0;
    std::uint32_t m_columns = 0;
    std::uint32_t m_pieceLength = DefaultPieceLength;
    // Longest span, recomputed over the blocks only after the longest line was edited away.
    mutable std::uint32_t m_longestSpan = 1;
    mutable bool m_longestDirty = true;
};

} // namespace TextView
