// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Counts the heap allocations of this process. Linking heap_counter.cpp into a benchmark puts its
// malloc in front of the C library's, for every library of the process (Qt's QString buffers,
// libstdc++'s operator new, FluidSynth), so nothing that allocates can hide from the count.
namespace tonalyx::bench {

// Allocations (malloc, calloc, realloc, aligned allocations) made so far by the calling thread.
std::uint64_t allocationsOfThisThread();

// Bytes the whole process holds on the heap now, and the most it has held since the last reset.
// Only differences mean something: blocks the C library allocates for itself (strdup, fopen) are
// not seen when made, only when the program frees them.
std::int64_t heapBytesInUse();
std::int64_t heapBytesPeak();
void resetHeapPeak();

} // namespace tonalyx::bench
