#pragma once
// Named filters (the platform's CIFilter): created by name from a registry, inputs set by key,
// an output image that can be missing. Key names are the platform's ("inputImage",
// "inputScale", "inputRVector", ...). To add a filter, see filters/README in FilterKit.h.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image/FilterValue.h"
#include "platform/image/Image.h"

namespace sorvel::image {

inline constexpr const char* kInputImageKey = "inputImage";
inline constexpr const char* kInputBackgroundImageKey = "inputBackgroundImage";

class Filter {
public:
    // Nothing when no filter of that name is registered. Any thread.
    static std::unique_ptr<Filter> make(std::string_view name);
    // Every registered name, sorted.
    static std::vector<std::string> names();

    const std::string& name() const { return name_; }
    // One line: what the filter computes.
    const std::string& summary() const;

    // Sets an input; keys the filter does not know are kept and ignored.
    void setValue(std::string_view key, FilterValue value);
    void setValues(const FilterInputs& inputs);
    // The value set, else the filter's default, else null.
    const FilterValue* value(std::string_view key) const;

    // A recipe; computes nothing. Nothing when an input the filter needs is missing or bad.
    std::optional<Image> outputImage() const;

    struct Definition;
    explicit Filter(const Definition& definition);

private:
    const Definition* definition_;
    std::string name_;
    FilterInputs values_;
};

}  // namespace sorvel::image
