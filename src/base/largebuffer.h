#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace Base {

// Raw memory for buffers that may hold a whole document. Large blocks come straight from mmap
// with transparent huge pages requested, because first-touch page faults on fresh 4 KiB pages
// dominate the cost of loading a 50 MB file; small blocks come from malloc.
namespace LargeAllocation {
void *allocate(std::size_t bytes);
void release(void *memory, std::size_t bytes) noexcept;
// Grows a block to `newBytes`, keeping the first `usedBytes`. Returns nullptr on failure, in
// which case the old block is untouched.
void *reallocate(void *memory, std::size_t oldBytes, std::size_t usedBytes, std::size_t newBytes);
} // namespace LargeAllocation

// A move-only, growable array of trivially copyable elements on `LargeAllocation`.
// Invariant: size() <= capacity(); elements past size() are uninitialised.
template<typename T>
class LargeBuffer {
public:
    LargeBuffer() = default;
    explicit LargeBuffer(std::size_t capacity) { reserve(capacity); }
    ~LargeBuffer() { LargeAllocation::release(m_data, m_capacity * sizeof(T)); }

    LargeBuffer(const LargeBuffer &) = delete;
    LargeBuffer &operator=(const LargeBuffer &) = delete;
    LargeBuffer(LargeBuffer &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0)) {}
    LargeBuffer &operator=(LargeBuffer &&other) noexcept
    {
        if (this != &other) {
            LargeAllocation::release(m_data, m_capacity * sizeof(T));
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_capacity = std::exchange(other.m_capacity, 0);
        }
        return *this;
    }

    T *data() { return m_data; }
    const T *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    T &operator[](std::size_t i) { return m_data[i]; }
    const T &operator[](std::size_t i) const { return m_data[i]; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_size; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }

    std::basic_string_view<T> view() const
        requires(std::is_same_v<T, char16_t> || std::is_same_v<T, char>)
    {
        return {m_data, m_size};
    }

    // Throws std::bad_alloc when memory cannot be had, like the standard containers.
    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        void *grown = LargeAllocation::reallocate(m_data, m_capacity * sizeof(T), m_size * sizeof(T),
                                                  capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T *>(grown);
        m_capacity = capacity;
    }
    // New elements are left uninitialised: callers overwrite them.
    void resize(std::size_t size)
    {
        reserve(size);
        m_size = size;
    }
    void append(const T *items, std::size_t count)
    {
        if (m_size + count > m_capacity)
            reserve(std::max(m_size + count, m_capacity + m_capacity / 2 + 16));
        if (count)
            std::memcpy(m_data + m_size, items, count * sizeof(T));
        m_size += count;
    }
    void push_back(T item) { append(&item, 1); }
    void clear() { m_size = 0; }

private:
    T *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

using U16Buffer = LargeBuffer<char16_t>;
using ByteBuffer = LargeBuffer<char>;

} // namespace Base
