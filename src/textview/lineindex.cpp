#include "lineindex.h"

#include "fenwick_p.h"
#include "wraprows.h"

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

void LineIndex::assign(const std::vector<std::uint32_t> &lengths)
{
    m_blocks.clear();
    const std::size_t lines = std::max<std::size_t>(lengths.size(), 1);
    m_blocks.reserve(lines / TargetBlock + 1);
    for (std::size_t first = 0; first < lines; first += TargetBlock) {
        Block block;
        const std::size_t end = std::min(lines, first + TargetBlock);
        block.span.resize(end - first);
        for (std::size_t i = first; i < end; ++i)
            block.span[i - first] = (i < lengths.size() ? lengths[i] : 0) + 1;
        recomputeBlock(block);
        m_blocks.push_back(std::move(block));
    }
    m_longestDirty = true;
    rebuildTrees();
}

void LineIndex::recomputeBlock(Block &block)
{
    std::uint64_t spans = 0;
    std::uint32_t longest = 0;
    for (const std::uint32_t span : block.span) {
        spans += span;
        longest = std::max(longest, span);
    }
    block.spanSum = spans;
    block.maxSpan = longest;
}

void LineIndex::rebuildTrees()
{
    std::vector<std::int64_t> lines, spans;
    lines.reserve(m_blocks.size());
    spans.reserve(m_blocks.size());
    m_lineCount = 0;
    m_totalSpan = 0;
    for (const Block &block : m_blocks) {
        lines.push_back(std::int64_t(block.span.size()));
        spans.push_back(std::int64_t(block.spanSum));
        m_lineCount += block.span.size();
        m_totalSpan += block.spanSum;
    }
    Fenwick::build(m_lineTree, lines);
    Fenwick::build(m_spanTree, spans);
}

LineIndex::Location LineIndex::locateLine(std::size_t line) const
{
    line = std::min(line, m_lineCount - 1);
    std::int64_t before = 0;
    // Blocks wholly before `line`: the largest prefix of blocks holding <= line lines.
    const std::size_t block = Fenwick::search(m_lineTree, std::int64_t(line), before);
    return {block, line - std::size_t(before)};
}

std::size_t LineIndex::lineStart(std::size_t line) const
{
    const Location at = locateLine(line);
    std::uint64_t start = std::uint64_t(Fenwick::prefix(m_spanTree, at.block));
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

void LineIndex::lineLengths(std::size_t first, std::size_t count, std::uint32_t *out) const
{
    if (count == 0)
        return;
    Location at = locateLine(first);
    for (std::size_t done = 0; done < count && at.block < m_blocks.size(); ++at.block, at.index = 0) {
        const Block &block = m_blocks[at.block];
        for (; at.index < block.span.size() && done < count; ++at.index)
            out[done++] = block.span[at.index] - 1;
    }
}

std::size_t LineIndex::lineAt(std::size_t position) const
{
    position = std::min<std::size_t>(position, m_totalSpan - 1);
    std::int64_t before = 0;
    const std::size_t block = Fenwick::search(m_spanTree, std::int64_t(position), before);
    if (block >= m_blocks.size())
        return m_lineCount - 1;
    std::size_t line = std::size_t(Fenwick::prefix(m_lineTree, block));
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
        const std::int64_t oldSpan = std::int64_t(block.spanSum);
        for (std::size_t i = 0; i < count; ++i)
            block.span[at.index + i] = lengths[i] + 1;
        recomputeBlock(block);
        Fenwick::add(m_spanTree, at.block, std::int64_t(block.spanSum) - oldSpan);
        m_totalSpan = m_totalSpan + block.spanSum - std::uint64_t(oldSpan);
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
        remaining -= take;
        ++blockIndex;
        index = 0;
    }
    // ... then insert the new lines where the first one was.
    Block &target = m_blocks[at.block];
    std::vector<std::uint32_t> spans(newCount);
    for (std::size_t i = 0; i < newCount; ++i)
        spans[i] = lengths[i] + 1;
    target.span.insert(target.span.begin() + std::ptrdiff_t(at.index), spans.begin(), spans.end());

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
            recomputeBlock(part);
            rebuilt.push_back(std::move(part));
        }
    }
    m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(at.block), m_blocks.begin() + std::ptrdiff_t(touchedEnd));
    m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(at.block), std::make_move_iterator(rebuilt.begin()),
                    std::make_move_iterator(rebuilt.end()));
    rebuildTrees();
}

} // namespace TextView
