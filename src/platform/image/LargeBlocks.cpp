#include "platform/image/LargeBlocks.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/image/HugePages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sorvel::image::blocks {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMaxKeptBlocks = 3;
constexpr std::size_t kMaxKeptBytes = std::size_t(320) << 20;  // a 12 MP float picture and then some

struct Kept {
    void* block;
    std::size_t capacity;
};

// Never destroyed: a picture held by some other static object can be released after this
// file's statics would have been torn down at exit.
std::mutex& lock() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::vector<Kept>& kept() {
    static std::vector<Kept>* k = new std::vector<Kept>;
    return *k;
}

std::size_t total(const std::vector<Kept>& k) {
    std::size_t sum = 0;
    for (const Kept& e : k) sum += e.capacity;
    return sum;
}

}  // namespace

void* acquire(std::size_t bytes, std::size_t& capacity) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < bytes) return nullptr;  // wrapped
    std::vector<Kept> stale;
    {
        std::lock_guard<std::mutex> guard(lock());
        std::vector<Kept>& k = kept();
        // A block at most a quarter larger than asked for; the smallest such.
        std::size_t best = k.size();
        for (std::size_t i = 0; i < k.size(); ++i)
            if (k[i].capacity >= rounded && k[i].capacity - rounded <= rounded / 4 &&
                (best == k.size() || k[i].capacity < k[best].capacity))
                best = i;
        if (best != k.size()) {
            const Kept found = k[best];
            k.erase(k.begin() + std::ptrdiff_t(best));
            capacity = found.capacity;
            return found.block;
        }
        stale.swap(k);  // another size: the kept blocks go before the new one comes
    }
    for (const Kept& e : stale) std::free(e.block);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (!block) return nullptr;
    adviseHugePages(block, rounded);
    capacity = rounded;
    return block;
}

void release(void* block, std::size_t capacity) {
    if (!block) return;
    {
        std::lock_guard<std::mutex> guard(lock());
        std::vector<Kept>& k = kept();
        if (k.size() < kMaxKeptBlocks && total(k) + capacity <= kMaxKeptBytes) {
#if defined(__linux__) && defined(MADV_FREE)
            // Its contents are not needed again: under pressure the kernel may take the pages
            // (they read as zero afterwards), otherwise they stay mapped and fault-free.
            madvise(block, capacity, MADV_FREE);
#endif
            try {
                k.push_back({block, capacity});
                return;
            } catch (...) {  // no room to remember it: free it below
            }
        }
    }
    std::free(block);
}

void trim() {
    std::vector<Kept> stale;
    {
        std::lock_guard<std::mutex> guard(lock());
        stale.swap(kept());
    }
    for (const Kept& e : stale) std::free(e.block);
}

std::size_t keptBytes() {
    std::lock_guard<std::mutex> guard(lock());
    return total(kept());
}

}  // namespace sorvel::image::blocks
