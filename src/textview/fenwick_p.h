#pragma once

// Fenwick (binary indexed) trees over per-block sums, shared by the line index and the wrap
// rows. Index 0 of a tree is unused; a tree over n values has n + 1 entries.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace TextView::Fenwick {

inline void build(std::vector<std::int64_t> &tree, const std::vector<std::int64_t> &values)
{
    tree.assign(values.size() + 1, 0);
    for (std::size_t i = 1; i <= values.size(); ++i) {
        tree[i] += values[i - 1];
        const std::size_t parent = i + (i & (~i + 1));
        if (parent <= values.size())
            tree[parent] += tree[i];
    }
}

inline void add(std::vector<std::int64_t> &tree, std::size_t index, std::int64_t delta)
{
    for (std::size_t i = index + 1; i < tree.size(); i += i & (~i + 1))
        tree[i] += delta;
}

// Sum of the first `count` values.
inline std::int64_t prefix(const std::vector<std::int64_t> &tree, std::size_t count)
{
    std::int64_t sum = 0;
    for (std::size_t i = count; i > 0; i -= i & (~i + 1))
        sum += tree[i];
    return sum;
}

// Largest count of leading values whose sum is <= target, and that sum.
inline std::size_t search(const std::vector<std::int64_t> &tree, std::int64_t target, std::int64_t &sumBefore)
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

} // namespace TextView::Fenwick
