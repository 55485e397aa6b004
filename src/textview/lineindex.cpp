#include "lineindex.h"

#include <algorithm>

namespace TextView {

LineIndex::LineIndex()
{
    clear();
}

void LineIndex::clear()
{
    assign({});
}

std::uint32_t LineIndex::estimateRows(std::size_t length) const
{
    if (length == 0)
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

void LineIndex::assign(const std::vector<std::uint32_t> &lengths)
{
    m_blocks.clear();
    const std::size_t lines = std::max<std::size_t>(lengths.size(), 1);
    m_blocks.reserve(lines / TargetBlock + 1);
    for (std::size_t first = 0; first < lines; first += TargetBlock) {
        Block block;
        const std::size_t end = std::min(lines, first + TargetBlock);
        block.span.resize(end - first);
        block.rows.resize(end - first);
        for (std::size_t i = first; i < end; ++i) {
            const std::uint32_t length = i < lengths.size() ? lengths[i] : 0;
            block.span[i - first] = length + 1;
            block.rows[i - first] = estimateRows(length);
        }
        recomputeBlock(block);
        m_blocks.push_back(std::move(block));
    }
    m_longestDirty = true;
    rebuildTrees();
}

void LineIndex::recomputeBlock(Block &block)
{
    std::uint64_t spans = 0, rows = 0;
    std::uint32_t longest = 0;
    for (std::size_t i = 0; i < block.span.size(); ++i) {
        spans += block.span[i];
        rows += block.rows[i] & ~MeasuredBit;
        longest = std::max(longest, block.span[i]);
    }
    block.spanSum = spans;
    block.rowSum = rows;
    block.maxSpan = longest;
}

void LineIndex::fenwickBuild(std::vector<std::int64_t> &tree, const std::vector<std::int64_t> &values)
{
    tree.assign(values.size() + 1, 0);
    for (std::size_t i = 1; i <= values.size(); ++i) {
        tree[i] += values[i - 1];
        const std::size_t parent = i + (i & (~i + 1));
        if (parent <= values.size())
            tree[parent] += tree[i];
    }
}

void LineIndex::fenwickAdd(std::vector<std::int64_t> &tree, std::size_t index, std::int64_t delta)
{
    for (std::size_t i = index + 1; i < tree.size(); i += i & (~i + 1))
        tree[i] += delta;
}

std::int64_t LineIndex::fenwickPrefix(const std::vector<std::int64_t> &tree, std::size_t count)
{
    std::int64_t sum = 0;
    for (std::size_t i = count; i > 0; i -= i & (~i + 1))
        sum += tree[i];
    return sum;
}

std::size_t LineIndex::fenwickSearch(const std::vector<std::int64_t> &tree, std::int64_t target,
                                     std::int64_t &sumBefore)
{
    std::size_t position = 0;
    std::int64_t sum = 0;
    std::size_t step = 1;
    while (step * 2 < tree.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        const std::size_t next = position + step;
        if (next < tree.size() && sum + tree[next] <= target) {
            position = next;
            sum += tree[next];
        }
    }
    sumBefore = sum;
    return position;
}

void LineIndex::rebuildTrees()
{
    std::vector<std::int64_t> lines, spans, rows;
    lines.reserve(m_blocks.size());
    spans.reserve(m_blocks.size());
    rows.reserve(m_blocks.size());
    m_lineCount = 0;
    m_totalSpan = 0;
    m_totalRows = 0;
    for (const Block &block : m_blocks) {
        lines.push_back(std::int64_t(block.span.size()));
        spans.push_back(std::int64_t(block.spanSum));
        rows.push_back(std::int64_t(block.rowSum));
        m_lineCount += block.span.size();
        m_totalSpan += block.spanSum;
        m_totalRows += block.rowSum;
    }
    fenwickBuild(m_lineTree, lines);
    fenwickBuild(m_spanTree, spans);
    fenwickBuild(m_rowTree, rows);
}

LineIndex::Location LineIndex::locateLine(std::size_t line) const
{
    line = std::min(line, m_lineCount - 1);
    std::int64_t before = 0;
    // Blocks wholly before `line`: the largest prefix of blocks holding <= line lines.
    const std::size_t block = fenwickSearch(m_lineTree, std::int64_t(line), before);
    return {block, line - std::size_t(before)};
}

std::size_t LineIndex::lineStart(std::size_t line) const
{
    const Location at = locateLine(line);
    std::uint64_t start = std::uint64_t(fenwickPrefix(m_spanTree, at.block));
    const Block &block = m_blocks[at.block];
    for (std::size_t i = 0; i < at.index; ++i)
        start += block.span[i];
    return std::size_t(start);
}

std::size_t LineIndex::lineLength(std::size_t line) const
{
    const Location at = locateLine(line);
    return m_blocks[at.block].span[at.index] - 1;
}

std::size_t LineIndex::lineAt(std::size_t position) const
{
    position = std::min<std::size_t>(position, m_totalSpan - 1);
    std::int64_t before = 0;
    const std::size_t block = fenwickSearch(m_spanTree, std::int64_t(position), before);
    if (block >= m_blocks.size())
        return m_lineCount - 1;
    std::size_t line = std::size_t(fenwickPrefix(m_lineTree, block));
    std::uint64_t start = std::uint64_t(before);
    const Block &b = m_blocks[block];
    for (std::size_t i = 0; i < b.span.size(); ++i) {
        if (start + b.span[i] > position)
            return line + i;
        start += b.span[i];
    }
    return line + b.span.size() - 1;
}

std::size_t LineIndex::longestLineLength() const
{
    if (m_longestDirty) {
        m_longestSpan = 1;
        for (const Block &block : m_blocks)
            m_longestSpan = std::max(m_longestSpan, block.maxSpan);
        m_longestDirty = false;
    }
    return m_longestSpan - 1;
}

void LineIndex::replaceLines(std::size_t first, std::size_t count, const std::uint32_t *lengths,
                             std::size_t newCount)
{
    if (newCount == 0 || first >= m_lineCount)
        return;
    count = std::min(count, m_lineCount - first);
    Location at = locateLine(first);
    if (!m_longestDirty) {
        // Removing the longest line forces a recount; new lines can only raise the maximum.
        for (std::size_t i = 0, line = first; i < count && !m_longestDirty; ++i, ++line) {
            const Location where = i == 0 ? at : locateLine(line);
            if (m_blocks[where.block].span[where.index] >= m_longestSpan)
                m_longestDirty = true;
            if (i > 64)
                m_longestDirty = true; // a big removal: recounting is cheaper than checking
        }
        for (std::size_t i = 0; i < newCount; ++i)
            m_longestSpan = std::max(m_longestSpan, lengths[i] + 1);
    }

    // Fast path: same number of lines inside one block, only values change.
    if (count == newCount && at.index + count <= m_blocks[at.block].span.size()) {
        Block &block = m_blocks[at.block];
        const std::int64_t oldSpan = std::int64_t(block.spanSum), oldRows = std::int64_t(block.rowSum);
        for (std::size_t i = 0; i < count; ++i) {
            block.span[at.index + i] = lengths[i] + 1;
            block.rows[at.index + i] = estimateRows(lengths[i]);
        }
        recomputeBlock(block);
        fenwickAdd(m_spanTree, at.block, std::int64_t(block.spanSum) - oldSpan);
        fenwickAdd(m_rowTree, at.block, std::int64_t(block.rowSum) - oldRows);
        m_totalSpan = m_totalSpan + block.spanSum - std::uint64_t(oldSpan);
        m_totalRows = m_totalRows + block.rowSum - std::uint64_t(oldRows);
        return;
    }

    // General path: erase `count` lines from `at` onwards (possibly across blocks) ...
    std::size_t remaining = count;
    std::size_t blockIndex = at.block;
    std::size_t index = at.index;
    while (remaining > 0 && blockIndex < m_blocks.size()) {
        Block &block = m_blocks[blockIndex];
        const std::size_t take = std::min(remaining, block.span.size() - index);
        block.span.erase(block.span.begin() + std::ptrdiff_t(index),
                         block.span.begin() + std::ptrdiff_t(index + take));
        block.rows.erase(block.rows.begin() + std::ptrdiff_t(index),
                         block.rows.begin() + std::ptrdiff_t(index + take));
        remaining -= take;
        ++blockIndex;
        index = 0;
    }
    // ... then insert the new lines where the first one was.
    Block &target = m_blocks[at.block];
    std::vector<std::uint32_t> spans(newCount), rows(newCount);
    for (std::size_t i = 0; i < newCount; ++i) {
        spans[i] = lengths[i] + 1;
        rows[i] = estimateRows(lengths[i]);
    }
    target.span.insert(target.span.begin() + std::ptrdiff_t(at.index), spans.begin(), spans.end());
    target.rows.insert(target.rows.begin() + std::ptrdiff_t(at.index), rows.begin(), rows.end());

    // Restore the block invariants: no empty block, none much larger than the target size.
    std::vector<Block> rebuilt;
    const std::size_t touchedEnd = std::max(blockIndex, at.block + 1);
    for (std::size_t b = at.block; b < touchedEnd; ++b) {
        Block &block = m_blocks[b];
        if (block.span.empty())
            continue;
        if (block.span.size() <= 2 * TargetBlock) {
            recomputeBlock(block);
            rebuilt.push_back(std::move(block));
            continue;
        }
        for (std::size_t start = 0; start < block.span.size(); start += TargetBlock) {
            const std::size_t end = std::min(block.span.size(), start + TargetBlock);
            Block part;
            part.span.assign(block.span.begin() + std::ptrdiff_t(start), block.span.begin() + std::ptrdiff_t(end));
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

void LineIndex::setWrapColumns(std::uint32_t columns, std::uint32_t pieceLength)
{
    m_longestDirty = true;
    m_columns = columns;
    m_pieceLength = std::max<std::uint32_t>(pieceLength, 1);
    for (Block &block : m_blocks) {
        for (std::size_t i = 0; i < block.span.size(); ++i)
            block.rows[i] = estimateRows(block.span[i] - 1);
        recomputeBlock(block);
    }
    rebuildTrees();
}

std::uint32_t LineIndex::rows(std::size_t line) const
{
    const Location at = locateLine(line);
    return m_blocks[at.block].rows[at.index] & ~MeasuredBit;
}

bool LineIndex::isMeasured(std::size_t line) const
{
    const Location at = locateLine(line);
    return (m_blocks[at.block].rows[at.index] & MeasuredBit) != 0;
}

void LineIndex::setMeasuredRows(std::size_t line, std::uint32_t rows)
{
    if (line >= m_lineCount)
        return;
    rows = std::clamp<std::uint32_t>(rows, 1, MeasuredBit - 1);
    const Location at = locateLine(line);
    Block &block = m_blocks[at.block];
    const std::uint32_t old = block.rows[at.index] & ~MeasuredBit;
    block.rows[at.index] = rows | MeasuredBit;
    const std::int64_t delta = std::int64_t(rows) - std::int64_t(old);
    if (delta != 0) {
        block.rowSum = std::uint64_t(std::int64_t(block.rowSum) + delta);
        fenwickAdd(m_rowTree, at.block, delta);
        m_totalRows = std::uint64_t(std::int64_t(m_totalRows) + delta);
    }
}

std::size_t LineIndex::rowOfLine(std::size_t line) const
{
    const Location at = locateLine(line);
    std::uint64_t row = std::uint64_t(fenwickPrefix(m_rowTree, at.block));
    const Block &block = m_blocks[at.block];
    for (std::size_t i = 0; i < at.index; ++i)
        row += block.rows[i] & ~MeasuredBit;
    return std::size_t(row);
}

LineIndex::RowPosition LineIndex::lineAtRow(std::size_t row) const
{
    if (m_totalRows == 0)
        return {0, 0};
    row = std::min<std::size_t>(row, m_totalRows - 1);
    std::int64_t before = 0;
    const std::size_t block = fenwickSearch(m_rowTree, std::int64_t(row), before);
    if (block >= m_blocks.size())
        return {m_lineCount - 1, rows(m_lineCount - 1) - 1};
    std::size_t line = std::size_t(fenwickPrefix(m_lineTree, block));
    std::uint64_t start = std::uint64_t(before);
    const Block &b = m_blocks[block];
    for (std::size_t i = 0; i < b.rows.size(); ++i) {
        const std::uint32_t r = b.rows[i] & ~MeasuredBit;
        if (start + r > row)
            return {line + i, std::uint32_t(row - start)};
        start += r;
    }
    return {line + b.rows.size() - 1, 0};
}

} // namespace TextView
