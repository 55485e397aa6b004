#include "wraprows.h"

#include "fenwick_p.h"

#include <algorithm>

namespace TextView {

WrapRows::WrapRows()
{
    assign(LineIndex());
}

std::uint32_t WrapRows::estimateRows(std::size_t length) const
{
    // Most lines fit one row: no division for them.
    if (length <= m_columns || length == 0)
        return 1;
    if (length <= SinglePieceLimit) {
        const std::size_t rows = m_columns == 0 ? 1 : (length + m_columns - 1) / m_columns;
        return std::uint32_t(std::max<std::size_t>(rows, 1));
    }
    const std::size_t piece = m_pieceLength;
    const std::size_t fullPieces = length / piece;
    const std::size_t rest = length % piece;
    std::size_t rows;
    if (m_columns == 0) {
        rows = fullPieces + (rest ? 1 : 0);
    } else {
        const std::size_t perPiece = (piece + m_columns - 1) / m_columns;
        rows = fullPieces * perPiece + (rest + m_columns - 1) / m_columns;
    }
    return std::uint32_t(std::clamp<std::size_t>(rows, 1, MeasuredBit - 1));
}

void WrapRows::estimate(const LineIndex &lines, std::size_t first, std::size_t count, std::uint32_t *out) const
{
    lines.lineLengths(first, count, out);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = estimateRows(out[i]);
}

void WrapRows::assign(const LineIndex &lines)
{
    m_blocks.clear();
    const std::size_t count = lines.lineCount();
    m_blocks.reserve(count / TargetBlock + 1);
    // A line at most this long takes one row.
    const std::size_t oneRow = m_columns == 0 ? SinglePieceLimit : std::min<std::size_t>(m_columns, SinglePieceLimit);
    std::uint32_t lengths[TargetBlock];
    for (std::size_t first = 0; first < count; first += TargetBlock) {
        Block block;
        block.lines = std::min(count, first + TargetBlock) - first;
        lines.lineLengths(first, block.lines, lengths);
        if (*std::max_element(lengths, lengths + block.lines) > oneRow) {
            block.rows.resize(block.lines);
            for (std::size_t i = 0; i < block.lines; ++i)
                block.rows[i] = estimateRows(lengths[i]);
        }
        recomputeBlock(block);
        m_blocks.push_back(std::move(block));
    }
    rebuildTrees();
}

void WrapRows::setWrapColumns(std::uint32_t columns, const LineIndex &lines, std::uint32_t pieceLength)
{
    m_columns = columns;
    m_pieceLength = std::max<std::uint32_t>(pieceLength, 1);
    assign(lines);
}

void WrapRows::recomputeBlock(Block &block)
{
    if (block.rows.empty()) {
        block.rowSum = block.lines;
        return;
    }
    block.lines = block.rows.size();
    std::uint64_t rows = 0;
    for (const std::uint32_t entry : block.rows)
        rows += entry & ~MeasuredBit;
    block.rowSum = rows;
}

void WrapRows::expand(Block &block)
{
    if (block.rows.empty())
        block.rows.assign(block.lines, 1);
}

void WrapRows::rebuildTrees()
{
    std::vector<std::int64_t> lines, rows;
    lines.reserve(m_blocks.size());
    rows.reserve(m_blocks.size());
    m_lineCount = 0;
    m_totalRows = 0;
    for (const Block &block : m_blocks) {
        lines.push_back(std::int64_t(block.lines));
        rows.push_back(std::int64_t(block.rowSum));
        m_lineCount += block.lines;
        m_totalRows += block.rowSum;
    }
    Fenwick::build(m_lineTree, lines);
    Fenwick::build(m_rowTree, rows);
}

WrapRows::Location WrapRows::locateLine(std::size_t line) const
{
    line = std::min(line, m_lineCount - 1);
    std::int64_t before = 0;
    const std::size_t block = Fenwick::search(m_lineTree, std::int64_t(line), before);
    return {block, line - std::size_t(before)};
}

void WrapRows::replaceLines(std::size_t first, std::size_t count, std::size_t newCount, const LineIndex &lines)
{
    if (newCount == 0 || first >= m_lineCount)
        return;
    count = std::min(count, m_lineCount - first);
    const Location at = locateLine(first);
    std::vector<std::uint32_t> fresh(newCount);
    estimate(lines, first, newCount, fresh.data());

    // The blocks that lose lines get their entries first.
    for (std::size_t b = at.block, left = count + at.index; b < m_blocks.size() && left > 0; ++b) {
        expand(m_blocks[b]);
        left -= std::min(left, m_blocks[b].lines);
    }
    expand(m_blocks[at.block]);

    // Fast path: same number of lines inside one block, only values change.
    if (count == newCount && at.index + count <= m_blocks[at.block].rows.size()) {
        Block &block = m_blocks[at.block];
        const std::int64_t oldRows = std::int64_t(block.rowSum);
        std::copy(fresh.begin(), fresh.end(), block.rows.begin() + std::ptrdiff_t(at.index));
        recomputeBlock(block);
        Fenwick::add(m_rowTree, at.block, std::int64_t(block.rowSum) - oldRows);
        m_totalRows = m_totalRows + block.rowSum - std::uint64_t(oldRows);
        return;
    }

    // General path: erase `count` entries from `at` onwards (possibly across blocks) ...
    std::size_t remaining = count;
    std::size_t blockIndex = at.block;
    std::size_t index = at.index;
    while (remaining > 0 && blockIndex < m_blocks.size()) {
        Block &block = m_blocks[blockIndex];
        const std::size_t take = std::min(remaining, block.rows.size() - index);
        block.rows.erase(block.rows.begin() + std::ptrdiff_t(index), block.rows.begin() + std::ptrdiff_t(index + take));
        remaining -= take;
        ++blockIndex;
        index = 0;
    }
    // ... then insert the new ones where the first one was.
    Block &target = m_blocks[at.block];
    target.rows.insert(target.rows.begin() + std::ptrdiff_t(at.index), fresh.begin(), fresh.end());

    // Restore the block invariants: no empty block, none much larger than the target size.
    std::vector<Block> rebuilt;
    const std::size_t touchedEnd = std::max(blockIndex, at.block + 1);
    for (std::size_t b = at.block; b < touchedEnd; ++b) {
        Block &block = m_blocks[b];
        if (block.rows.empty())
            continue;
        if (block.rows.size() <= 2 * TargetBlock) {
            recomputeBlock(block);
            rebuilt.push_back(std::move(block));
            continue;
        }
        for (std::size_t start = 0; start < block.rows.size(); start += TargetBlock) {
            const std::size_t end = std::min(block.rows.size(), start + TargetBlock);
            Block part;
            part.rows.assign(block.rows.begin() + std::ptrdiff_t(start), block.rows.begin() + std::ptrdiff_t(end));
            recomputeBlock(part);
            rebuilt.push_back(std::move(part));
        }
    }
    m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(at.block), m_blocks.begin() + std::ptrdiff_t(touchedEnd));
    m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(at.block), std::make_move_iterator(rebuilt.begin()),
                    std::make_move_iterator(rebuilt.end()));
    rebuildTrees();
}

std::uint32_t WrapRows::rows(std::size_t line) const
{
    const Location at = locateLine(line);
    return m_blocks[at.block].at(at.index) & ~MeasuredBit;
}

bool WrapRows::isMeasured(std::size_t line) const
{
    const Location at = locateLine(line);
    return (m_blocks[at.block].at(at.index) & MeasuredBit) != 0;
}

void WrapRows::setMeasuredRows(std::size_t line, std::uint32_t rows)
{
    if (line >= m_lineCount)
        return;
    rows = std::clamp<std::uint32_t>(rows, 1, MeasuredBit - 1);
    const Location at = locateLine(line);
    Block &block = m_blocks[at.block];
    expand(block);
    const std::uint32_t old = block.rows[at.index] & ~MeasuredBit;
    block.rows[at.index] = rows | MeasuredBit;
    const std::int64_t delta = std::int64_t(rows) - std::int64_t(old);
    if (delta != 0) {
        block.rowSum = std::uint64_t(std::int64_t(block.rowSum) + delta);
        Fenwick::add(m_rowTree, at.block, delta);
        m_totalRows = std::uint64_t(std::int64_t(m_totalRows) + delta);
    }
}

std::size_t WrapRows::rowOfLine(std::size_t line) const
{
    const Location at = locateLine(line);
    std::uint64_t row = std::uint64_t(Fenwick::prefix(m_rowTree, at.block));
    const Block &block = m_blocks[at.block];
    if (block.rows.empty())
        return std::size_t(row) + at.index;
    for (std::size_t i = 0; i < at.index; ++i)
        row += block.rows[i] & ~MeasuredBit;
    return std::size_t(row);
}

RowPosition WrapRows::lineAtRow(std::size_t row) const
{
    if (m_totalRows == 0)
        return {0, 0};
    row = std::min<std::size_t>(row, m_totalRows - 1);
    std::int64_t before = 0;
    const std::size_t block = Fenwick::search(m_rowTree, std::int64_t(row), before);
    if (block >= m_blocks.size())
        return {m_lineCount - 1, rows(m_lineCount - 1) - 1};
    const std::size_t line = std::size_t(Fenwick::prefix(m_lineTree, block));
    std::uint64_t start = std::uint64_t(before);
    const Block &b = m_blocks[block];
    if (b.rows.empty())
        return {line + std::min<std::size_t>(std::size_t(row - start), b.lines - 1), 0};
    for (std::size_t i = 0; i < b.rows.size(); ++i) {
        const std::uint32_t r = b.rows[i] & ~MeasuredBit;
        if (start + r > row)
            return {line + i, std::uint32_t(row - start)};
        start += r;
    }
    return {line + b.rows.size() - 1, 0};
}

} // namespace TextView
