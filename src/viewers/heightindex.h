#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Viewers::Internal {

// Heights of a long list of rows, most of them estimated until they are first shown, with
// prefix sums in a Fenwick tree so that "which row is at y" and "where does row i start" cost
// O(log n) however many rows there are. Heights are whole pixels so sums never drift.
class HeightIndex {
public:
    void reset(std::size_t count, int estimate) { reset(std::vector<int>(count, estimate)); }
    // Starts over with these estimated heights.
    void reset(std::vector<int> estimates)
    {
        const std::size_t count = estimates.size();
        m_heights = std::move(estimates);
        m_measured.assign(count, false);
        m_tree.assign(count + 1, 0);
        // Linear-time build of the Fenwick tree.
        for (std::size_t i = 1; i <= count; ++i) {
            m_tree[i] += m_heights[i - 1];
            const std::size_t parent = i + (i & (~i + 1));
            if (parent <= count)
                m_tree[parent] += m_tree[i];
        }
    }
    std::size_t count() const { return m_heights.size(); }
    // Keeps the heights as estimates but has every row measured again when next shown.
    void forgetMeasurements() { m_measured.assign(m_measured.size(), false); }
    int height(std::size_t row) const { return m_heights[row]; }
    bool isMeasured(std::size_t row) const { return m_measured[row]; }
    void setHeight(std::size_t row, int height)
    {
        m_measured[row] = true;
        const std::int64_t delta = std::int64_t(height) - m_heights[row];
        if (delta == 0)
            return;
        m_heights[row] = height;
        for (std::size_t i = row + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }
    // Sum of the heights of rows [0, row).
    std::int64_t offsetOf(std::size_t row) const
    {
        std::int64_t sum = 0;
        for (std::size_t i = std::min(row, count()); i > 0; i -= i & (~i + 1))
            sum += m_tree[i];
        return sum;
    }
    std::int64_t total() const { return offsetOf(count()); }
    // The row that covers y (clamped to the last row); 0 for an empty list.
    std::size_t rowAt(std::int64_t y) const
    {
        if (count() == 0 || y < 0)
            return 0;
        std::size_t position = 0;
        std::size_t step = 1;
        while (step * 2 <= count())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (position + step <= count() && m_tree[position + step] <= y) {
                position += step;
                y -= m_tree[position];
            }
        }
        return std::min(position, count() - 1);
    }

private:
    std::vector<int> m_heights;
    std::vector<bool> m_measured;
    std::vector<std::int64_t> m_tree;
};

} // namespace Viewers::Internal
