#pragma once
// Splits a loop over rows between the cores. Internal to the RAW developer.

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace sorvel::image::raw {

// Runs body(first, last) over [0, count) in contiguous ranges, one per core; the split must
// change no result (each range writes only its own outputs).
template <class F>
void parallelRanges(std::size_t count, F body) {
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    if (threads == 1 || count < 64) {
        body(std::size_t(0), count);
        return;
    }
    std::vector<std::thread> pool;
    const std::size_t step = (count + threads - 1) / threads;
    for (std::size_t t = 1; t < threads; ++t) {
        const std::size_t a = std::min(count, t * step), b = std::min(count, (t + 1) * step);
        if (a < b) pool.emplace_back([=] { body(a, b); });
    }
    body(std::size_t(0), std::min(count, step));
    for (auto& t : pool) t.join();
}

}  // namespace sorvel::image::raw
