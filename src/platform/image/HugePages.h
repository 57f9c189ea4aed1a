#pragma once
// Large pixel planes in 2 MB pages: a 12 MP float plane (48 MB) is 12,000 ordinary pages, and
// both its first writes (a page fault each) and every later sweep over it (a page-table walk
// per page the TLB no longer holds) cost per page. The kernel takes this as advice (it may
// ignore it, e.g. when transparent huge pages are off). Internal to the image framework.

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sorvel::image {

// Advises huge pages for the whole 2 MB pages inside [data, data + bytes).
inline void adviseHugePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    if (bytes < 2 * kHugePage) return;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data, (void)bytes;
#endif
}

// v.resize(n), with fresh storage advised before its first write when it has to grow.
template <class T>
void resizeInHugePages(std::vector<T>& v, std::size_t n) {
    if (v.capacity() < n) {
        std::vector<T> fresh;
        fresh.reserve(n);  // allocated, not yet written
        adviseHugePages(fresh.data(), n * sizeof(T));
        fresh.assign(v.begin(), v.end());
        v.swap(fresh);
    }
    v.resize(n);
}

}  // namespace sorvel::image
