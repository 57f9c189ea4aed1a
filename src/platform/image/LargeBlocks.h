#pragma once
// Storage for large pixel buffers (4 MB and more), 2 MB aligned and advised into huge pages.
// The kernel zeroes every page it hands out, and for a 96 MB half-float picture the faults and
// zeroing are a tenth of rendering it. A camera renders the same sizes shot after shot, so a
// freed block is kept for the next buffer of about its size: a few blocks and a bounded number
// of bytes, handed back to the kernel as soon as a request of another size comes (so keeping
// them never raises the process's peak), and marked reclaimable meanwhile (MADV_FREE: under
// memory pressure the kernel takes the pages without asking). Internal to the image framework.

#include <cstddef>

namespace sorvel::image::blocks {

// Smallest request served here; smaller buffers come from the ordinary heap.
constexpr std::size_t kMinBytes = std::size_t(4) << 20;

// At least `bytes` of uninitialised storage, or nullptr. `capacity` receives the block's real
// size, which release() needs.
void* acquire(std::size_t bytes, std::size_t& capacity);

// Gives a block from acquire() back, to be kept or freed.
void release(void* block, std::size_t capacity);

// Frees every kept block (tests, and callers about to need memory of another kind).
void trim();

// What is kept now (tests).
std::size_t keptBytes();

}  // namespace sorvel::image::blocks
