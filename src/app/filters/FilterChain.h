#pragma once
// The render chain: a picture and a saved filter's parameter map in, the filtered picture out.
// It only composes an image recipe (the caller renders it) and never fails: a step whose
// filter cannot be made or yields no output leaves the picture as it was.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "app/filters/SavedFilter.h"
#include "platform/image/Filter.h"
#include "platform/image/Image.h"

namespace sorvel {

// Sees every filter the chain asks for (also those that cannot be made) and every filter
// whose output it is about to read, with all inputs set. For tests and diagnostics.
class FilterChainObserver {
public:
    virtual ~FilterChainObserver() = default;
    virtual void filterRequested(std::string_view name) { (void)name; }
    virtual void filterReady(const image::Filter& filter) { (void)filter; }
};

// Where the chain gets its filters: the image framework's registry, unless a test installs
// another (a platform without segmentation, a filter that yields nothing). Process-wide.
using FilterMaker = std::function<std::unique_ptr<image::Filter>(std::string_view name)>;
class ScopedFilterMaker {
public:
    explicit ScopedFilterMaker(FilterMaker maker);
    ~ScopedFilterMaker();
    ScopedFilterMaker(const ScopedFilterMaker&) = delete;
    ScopedFilterMaker& operator=(const ScopedFilterMaker&) = delete;

private:
    FilterMaker previous_;
};

// The person-saturation pre-pass (ids "22", "23") and then the operation table in order.
// With every value at its default the input object itself comes back. Any thread.
image::Image applyFilters(const image::Image& picture, const ParameterMap& parameters);
image::Image applyFilters(const image::Image& picture, const ParameterMap& parameters, FilterChainObserver* observer);

// A mask of the people in `inputImage`, scaled to its size; nothing (with a console line)
// when segmentation is unavailable or finds no mask. Any thread.
std::optional<image::Image> personSegmentation(const image::Image& inputImage, FilterChainObserver* observer = nullptr);

}  // namespace sorvel
