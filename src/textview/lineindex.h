#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TextView {


// A visual row given as the line showing it and the row within that line (both 0-based).
struct RowPosition {
    std::size_t line = 0;
    std::uint32_t rowInLine = 0;
};

// Per-line bookkeeping for a text of LF-separated lines: each line's length. Lines live in
// blocks of a few hundred entries with Fenwick trees over the block sums, so lookups cost
// O(log n + block) and an edit touching a few lines costs O(block + number of blocks), never
// O(lines). How many visual rows a line takes is a view's business (WrapRows), not the text's.
class LineIndex {
public:
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
    // Writes the lengths of lines [first, first + count) to `out` in one pass over the blocks;
    // the caller keeps the range within lineCount().
    void lineLengths(std::size_t first, std::size_t count, std::uint32_t *out) const;
    // The line holding `position` (a position on a line feed belongs to the line it ends);
    // positions past the end map to the last line.
    std::size_t lineAt(std::size_t position) const;
    std::size_t longestLineLength() const;

    // Replaces `count` lines starting at `first` by lines of the given lengths (at least one).
    void replaceLines(std::size_t first, std::size_t count, const std::uint32_t *lengths,
                      std::size_t newCount);

private:
    struct Block {
        std::vector<std::uint32_t> span; // length + 1 (the line feed, virtual for the last line)
        std::uint64_t spanSum = 0;
        std::uint32_t maxSpan = 0;
    };
    static constexpr std::size_t TargetBlock = 256;

    struct Location {
        std::size_t block;
        std::size_t index;
    };
    Location locateLine(std::size_t line) const;
    void rebuildTrees();
    static void recomputeBlock(Block &block);

    std::vector<Block> m_blocks;
    std::vector<std::int64_t> m_lineTree, m_spanTree;
    std::size_t m_lineCount = 0;
    std::uint64_t m_totalSpan = 0;
    // Longest span, recomputed over the blocks only after the longest line was edited away.
    mutable std::uint32_t m_longestSpan = 1;
    mutable bool m_longestDirty = true;
};

} // namespace TextView
