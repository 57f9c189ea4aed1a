#pragma once
// Where story mode takes its chances from: the thinning of rare stories, the pick of the next
// story and the colours of a random scheme. The app draws from the system's entropy; tests
// install a source that gives the numbers they need.

#include <memory>
#include <random>

namespace sorvel {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A whole number from `low` to `high`, both included (`low` <= `high`).
    virtual int uniform(int low, int high) = 0;
};

// A draw from `source` kept within `low`…`high`, whatever the source returns.
inline int drawBetween(RandomSource& source, int low, int high) {
    int value = source.uniform(low, high);
    return value < low ? low : value > high ? high : value;
}

class SystemRandomSource final : public RandomSource {
public:
    SystemRandomSource() : engine_(std::random_device{}()) {}
    int uniform(int low, int high) override { return std::uniform_int_distribution<int>(low, high)(engine_); }

private:
    std::mt19937 engine_;
};

}  // namespace sorvel
