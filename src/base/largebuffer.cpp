#include "largebuffer.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace Base::LargeAllocation {

namespace {
// Below this, malloc's own arenas are cheaper than a system call.
constexpr std::size_t MmapThreshold = 1 << 20;
constexpr std::size_t HugePage = 2 << 20;

std::size_t roundToPages(std::size_t bytes)
{
    return (bytes + HugePage - 1) & ~(HugePage - 1);
}
} // namespace

void *allocate(std::size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    if (bytes < MmapThreshold)
        return std::malloc(bytes);
    const std::size_t mapped = roundToPages(bytes);
    void *memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(memory, mapped, MADV_HUGEPAGE);
#endif
    return memory;
}

void release(void *memory, std::size_t bytes) noexcept
{
    if (!memory)
        return;
    if (bytes < MmapThreshold)
        std::free(memory);
    else
        munmap(memory, roundToPages(bytes));
}

void *reallocate(void *memory, std::size_t oldBytes, std::size_t usedBytes, std::size_t newBytes)
{
    if (memory && oldBytes < MmapThreshold && newBytes < MmapThreshold)
        return std::realloc(memory, newBytes);
    if (memory && oldBytes >= MmapThreshold && roundToPages(oldBytes) >= newBytes)
        return memory;
#if defined(MREMAP_MAYMOVE)
    // Growing a mapping moves page tables, not the text: a growing log stays cheap to append to.
    if (memory && oldBytes >= MmapThreshold && newBytes >= MmapThreshold) {
        const std::size_t mapped = roundToPages(newBytes);
        void *grown = mremap(memory, roundToPages(oldBytes), mapped, MREMAP_MAYMOVE);
        if (grown != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
            madvise(grown, mapped, MADV_HUGEPAGE);
#endif
            return grown;
        }
    }
#endif
    void *grown = allocate(newBytes);
    if (!grown)
        return nullptr;
    if (usedBytes)
        std::memcpy(grown, memory, usedBytes);
    release(memory, oldBytes);
    return grown;
}

} // namespace Base::LargeAllocation
