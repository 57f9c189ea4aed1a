#pragma once
// A random source for tests: hands out the queued numbers in order, then `fallback` (kept
// within the asked range), and records every range it was asked for.

#include <deque>
#include <utility>
#include <vector>

#include "app/stories/RandomSource.h"
#include "app/stories/StoryManager.h"

namespace sorvel::testing {

class FixedDraws final : public RandomSource {
public:
    explicit FixedDraws(int fallback, std::deque<int> queued = {}) : fallback_(fallback), queued_(std::move(queued)) {}
    int uniform(int low, int high) override {
        asked.emplace_back(low, high);
        int value = fallback_;
        if (!queued_.empty()) {
            value = queued_.front();
            queued_.pop_front();
        }
        return value < low ? low : value > high ? high : value;
    }
    std::vector<std::pair<int, int>> asked;

private:
    int fallback_;
    std::deque<int> queued_;
};

// Makes the story manager draw from a new FixedDraws; returns it for the test to inspect.
inline FixedDraws& useDraws(int fallback, std::deque<int> queued = {}) {
    auto draws = std::make_unique<FixedDraws>(fallback, std::move(queued));
    FixedDraws& borrowed = *draws;
    StoryManager::shared().setRandomSource(std::move(draws));
    return borrowed;
}

}  // namespace sorvel::testing
