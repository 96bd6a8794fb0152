// SPDX-License-Identifier: GPL-3.0-or-later
#include "heap_counter.h"

#include <atomic>
#include <cerrno>
#include <malloc.h>

// glibc's own entry points: the counting functions below replace malloc and friends for the whole
// process and hand every request on to these.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace tonalyx::bench {

namespace {

// The counters must live as long as the process and be reachable from malloc itself, which has
// no other way to find them. The per-thread count is TLS of the executable, so reading it never
// allocates.
std::uint64_t& threadAllocations()
{
    thread_local std::uint64_t count = 0;
    return count;
}

struct HeapTotals {
    std::atomic<std::int64_t> inUse { 0 };
    std::atomic<std::int64_t> peak { 0 };
};

HeapTotals& totals()
{
    static HeapTotals heap;
    return heap;
}

std::int64_t usableSize(void* pointer)
{
    return static_cast<std::int64_t>(malloc_usable_size(pointer));
}

void* counted(void* pointer)
{
    if (pointer == nullptr)
        return nullptr;
    ++threadAllocations();
    auto& heap = totals();
    const auto size = usableSize(pointer);
    const auto now = heap.inUse.fetch_add(size, std::memory_order_relaxed) + size;
    auto peak = heap.peak.load(std::memory_order_relaxed);
    while (now > peak && !heap.peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) { }
    return pointer;
}

void forget(std::int64_t bytes)
{
    totals().inUse.fetch_sub(bytes, std::memory_order_relaxed);
}

void released(void* pointer)
{
    if (pointer != nullptr)
        forget(usableSize(pointer));
}

} // namespace

std::uint64_t allocationsOfThisThread()
{
    return threadAllocations();
}

std::int64_t heapBytesInUse()
{
    return totals().inUse.load(std::memory_order_relaxed);
}

std::int64_t heapBytesPeak()
{
    return totals().peak.load(std::memory_order_relaxed);
}

void resetHeapPeak()
{
    totals().peak.store(heapBytesInUse(), std::memory_order_relaxed);
}

} // namespace tonalyx::bench

using tonalyx::bench::counted;
using tonalyx::bench::forget;
using tonalyx::bench::released;

extern "C" {

void* malloc(std::size_t size)
{
    return counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size)
{
    return counted(__libc_calloc(count, size));
}

void* realloc(void* pointer, std::size_t size)
{
    if (pointer == nullptr)
        return counted(__libc_realloc(nullptr, size));
    const auto before = static_cast<std::int64_t>(malloc_usable_size(pointer));
    void* moved = __libc_realloc(pointer, size);
    // A failed realloc leaves the block as it was; realloc to size 0 frees it.
    if (moved == nullptr && size != 0)
        return nullptr;
    forget(before);
    return counted(moved);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    return counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr && size != 0)
        return ENOMEM;
    *result = counted(pointer);
    return 0;
}

void free(void* pointer)
{
    released(pointer);
    __libc_free(pointer);
}

} // extern "C"
