#include "app/filters/FilterChain.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <utility>

#include "app/filters/FilterOperation.h"
#include "app/filters/FilterParameter.h"
#include "platform/foundation/Console.h"

namespace sorvel {

namespace {

using image::FilterValue;
using image::Image;
using image::Vector;

constexpr float kSkipBelow = 0.00001f;

// Non-finite values can only come from a hand-edited store; the filters' geometry (blur and
// bloom reach) cannot take them, so they count as not set.
std::optional<float> valueFor(const ParameterMap& parameters, std::string_view id) {
    auto it = parameters.find(id);
    if (it == parameters.end() || !std::isfinite(it->second)) return std::nullopt;
    return it->second;
}

std::mutex makerMutex;
FilterMaker installedMaker;

std::unique_ptr<image::Filter> makeFilter(std::string_view name, FilterChainObserver* observer) {
    if (observer) observer->filterRequested(name);
    FilterMaker maker;
    {
        std::lock_guard lock(makerMutex);
        maker = installedMaker;
    }
    return maker ? maker(name) : image::Filter::make(name);
}

std::optional<Image> outputOf(const image::Filter& filter, FilterChainObserver* observer) {
    if (observer) observer->filterReady(filter);
    return filter.outputImage();
}

std::optional<Image> applyNamed(std::string_view name, const image::FilterInputs& inputs, FilterChainObserver* observer) {
    auto filter = makeFilter(name, observer);
    if (!filter) return std::nullopt;
    filter->setValues(inputs);
    return outputOf(*filter, observer);
}

// `saturation` applied to `image`, shown through `mask` over `background`.
std::optional<Image> saturateThroughMask(const Image& image, const Image& background, const Image& mask, float saturation,
                                         FilterChainObserver* observer) {
    auto saturated = applyNamed("CIColorControls", {{image::kInputImageKey, image}, {"inputSaturation", saturation}}, observer);
    if (!saturated) return std::nullopt;
    return applyNamed("CIBlendWithMask",
                      {{image::kInputImageKey, *saturated},
                       {image::kInputBackgroundImageKey, background},
                       {"inputMaskImage", mask}},
                      observer);
}

Image segmentationPass(const Image& input, std::optional<float> person, std::optional<float> environment,
                       FilterChainObserver* observer) {
    auto mask = personSegmentation(input, observer);
    if (!mask) return input;

    const image::Rect in = input.extent();
    const image::Rect m = mask->extent();
    const double sx = in.width / m.width;
    const double sy = in.height / m.height;
    const double ty = in.y - m.y;
    // Translated in the scaled coordinates: (x, y) -> (sx x, sy (y + ty)).
    const Image aligned =
        mask->transformed(image::AffineTransform::translation(0, ty).concatenating(image::AffineTransform::scale(sx, sy)));

    auto personMask = applyNamed("CIColorMatrix",
                                 {{image::kInputImageKey, aligned},
                                  {"inputRVector", Vector{1.4655, 0, 0, 0}},
                                  {"inputGVector", Vector{1.4655, 0, 0, 0}},
                                  {"inputBVector", Vector{1.4655, 0, 0, 0}},
                                  {"inputAVector", Vector{0, 0, 0, 1}}},
                                 observer);
    if (!personMask) return input;
    auto environmentMask = applyNamed("CIColorInvert", {{image::kInputImageKey, *personMask}}, observer);

    Image current = input;
    if (person && *person != 1.0f) {
        if (auto out = saturateThroughMask(input, input, *personMask, *person, observer)) current = *out;
    }
    if (environment && *environment != 1.0f && environmentMask) {
        if (auto out = saturateThroughMask(current, current, *environmentMask, *environment, observer)) current = *out;
    }
    return current;
}

// The output faded to `amount` and laid over `current`: a linear mix of effect and picture.
std::optional<Image> blendOver(const Image& output, const Image& current, float amount, FilterChainObserver* observer) {
    auto faded = applyNamed("CIColorMatrix",
                            {{image::kInputImageKey, output},
                             {"inputRVector", Vector{1, 0, 0, 0}},
                             {"inputGVector", Vector{0, 1, 0, 0}},
                             {"inputBVector", Vector{0, 0, 1, 0}},
                             {"inputAVector", Vector{0, 0, 0, double(amount)}},
                             {"inputBiasVector", Vector{0, 0, 0, 0}}},
                            observer);
    if (!faded) return std::nullopt;
    return applyNamed("CISourceOverCompositing",
                      {{image::kInputImageKey, *faded}, {image::kInputBackgroundImageKey, current}}, observer);
}

Image cropInset(const Image& output, double inset) {
    return output.cropped(output.extent().insetBy(inset, inset));
}

// One row of the operation table applied to `current`.
Image applyOperation(const FilterOperation& operation, const Image& current, const ParameterMap& parameters,
                     FilterChainObserver* observer) {
    image::FilterInputs inputs;
    bool needsApply = false;
    bool hasBlend = false;
    float blendAmount = 1.0f;
    for (const auto& mapping : operation.parameterMappings) {
        auto value = valueFor(parameters, mapping.id);
        if (!value) continue;
        const FilterParameter* descriptor = nullptr;
        for (const auto& p : filterParameterCatalogue())
            if (std::to_string(p.id) == mapping.id) descriptor = &p;
        if (!descriptor || *value == descriptor->defaultValue) continue;
        needsApply = true;
        if (mapping.key == kBlendKey) {
            hasBlend = true;
            blendAmount = *value;
        } else {
            inputs.insert_or_assign(mapping.key, mapping.transform ? mapping.transform(*value) : FilterValue(*value));
        }
    }
    if (!needsApply) return current;

    const std::string& name = operation.filterName;
    auto filter = makeFilter(name, observer);
    if (!filter) return current;
    filter->setValue(image::kInputImageKey, current);
    if (name == "CIEdges") filter->setValue("inputIntensity", 10);

    auto radius = valueFor(parameters, "10");
    auto intensity = valueFor(parameters, "9");
    if (name == "CIBloom" && ((radius && *radius < kSkipBelow) || (intensity && *intensity < kSkipBelow))) return current;

    filter->setValues(inputs);
    auto output = outputOf(*filter, observer);
    if (!output) return current;

    if (hasBlend) {
        if (blendAmount <= 0) return current;
        auto mixed = blendOver(*output, current, blendAmount, observer);
        return mixed ? *mixed : current;
    }
    if (name == "CIBloom") {
        if (!radius || !intensity || !(*intensity > kSkipBelow)) return current;
        // The bloom spreads its glow ceil(3 r) beyond the picture; that margin is cut away.
        return cropInset(*output, std::ceil(3.0 * double(*radius)));
    }
    if (name == "CIBoxBlur") {
        auto blur = valueFor(parameters, "24");
        if (!blur || !(*blur > kSkipBelow)) return current;
        return cropInset(*output, std::floor(double(*blur)));
    }
    return *output;
}

}  // namespace

ScopedFilterMaker::ScopedFilterMaker(FilterMaker maker) {
    std::lock_guard lock(makerMutex);
    previous_ = std::exchange(installedMaker, std::move(maker));
}

ScopedFilterMaker::~ScopedFilterMaker() {
    std::lock_guard lock(makerMutex);
    installedMaker = std::move(previous_);
}

std::optional<Image> personSegmentation(const Image& inputImage, FilterChainObserver* observer) {
    auto filter = makeFilter("CIPersonSegmentation", observer);
    if (!filter) {
        consolePrint("无法创建人物分割滤镜");
        return std::nullopt;
    }
    filter->setValue(image::kInputImageKey, inputImage);
    filter->setValue("inputQualityLevel", 0);
    auto mask = outputOf(*filter, observer);
    const image::Rect m = mask ? mask->extent() : image::Rect::empty();
    // A mask without a finite area cannot be scaled to the picture.
    if (!mask || m.isEmpty() || m.isInfinite()) {
        consolePrint("无法生成分割后的图像");
        return std::nullopt;
    }
    const image::Rect in = inputImage.extent();
    if (in.isEmpty() || in.isInfinite()) {
        consolePrint("无法生成分割后的图像");
        return std::nullopt;
    }
    return mask->transformed(image::AffineTransform::scale(in.width / m.width, in.height / m.height));
}

Image applyFilters(const Image& picture, const ParameterMap& parameters) {
    return applyFilters(picture, parameters, nullptr);
}

Image applyFilters(const Image& picture, const ParameterMap& parameters, FilterChainObserver* observer) {
    Image current = picture;
    auto person = valueFor(parameters, "22");
    auto environment = valueFor(parameters, "23");
    // A missing key counts as changed here, so the pre-pass runs; each adjustment inside it
    // still needs its own key.
    if (!person || *person != 1.0f || !environment || *environment != 1.0f)
        current = segmentationPass(current, person, environment, observer);
    for (const auto& operation : allFilterOperations()) current = applyOperation(operation, current, parameters, observer);
    return current;
}

}  // namespace sorvel
