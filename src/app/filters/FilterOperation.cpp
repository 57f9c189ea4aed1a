#include "app/filters/FilterOperation.h"

#include <numbers>

namespace sorvel {

namespace {

// The platform's names for the common input keys.
const char* const kCIInputEVKey = "inputEV";
const char* const kCIInputContrastKey = "inputContrast";
const char* const kCIInputSaturationKey = "inputSaturation";
const char* const kCIInputBrightnessKey = "inputBrightness";
const char* const kCIInputAngleKey = "inputAngle";
const char* const kCIInputIntensityKey = "inputIntensity";

ParameterMapping direct(const char* id, const char* key) { return {id, key, nullptr}; }

std::vector<FilterOperation> buildOperations() {
    const auto degreesToRadians = [](float v) { return image::FilterValue(v * std::numbers::pi_v<float> / 180.0f); };
    // The temperature is the source neutral; the target neutral stays at the filter's default.
    const auto neutral = [](float v) { return image::FilterValue(image::Vector{double(v), 0.0}); };
    const auto number = [](float v) { return image::FilterValue(double(v)); };
    return {
        {"CIExposureAdjust", {direct("1", kCIInputEVKey)}},
        // Contrast, saturation and brightness are separate passes so each sees only its input.
        {"CIColorControls", {direct("2", kCIInputContrastKey)}},
        {"CIColorControls", {direct("3", kCIInputSaturationKey)}},
        {"CIColorControls", {direct("4", kCIInputBrightnessKey)}},
        {"CIVibrance", {direct("5", "inputAmount")}},
        {"CIGammaAdjust", {direct("6", "inputPower")}},
        {"CIHueAdjust", {{"7", kCIInputAngleKey, degreesToRadians}}},
        {"CITemperatureAndTint", {{"8", "inputNeutral", neutral}}},
        {"CIBloom", {{"9", "inputIntensity", number}, {"10", "inputRadius", number}}},
        {"CIDither", {direct("11", kBlendKey)}},
        {"CIPhotoEffectChrome", {direct("12", kBlendKey)}},
        {"CIPhotoEffectFade", {direct("13", kBlendKey)}},
        {"CIPhotoEffectInstant", {direct("14", kBlendKey)}},
        {"CIPhotoEffectMono", {direct("15", kBlendKey)}},
        {"CIPhotoEffectTonal", {direct("16", kBlendKey)}},
        {"CIPhotoEffectNoir", {direct("17", kBlendKey)}},
        {"CIPhotoEffectTransfer", {direct("18", kBlendKey)}},
        {"CIVignette", {direct("19", kCIInputIntensityKey)}},
        {"CIHighlightShadowAdjust", {direct("20", "inputHighlightAmount"), direct("21", "inputShadowAmount")}},
        {"CIBoxBlur", {direct("24", "inputRadius")}},
        {"CIEdges", {direct("25", kBlendKey)}},
    };
}

}  // namespace

const std::vector<FilterOperation>& allFilterOperations() {
    static const std::vector<FilterOperation> operations = buildOperations();
    return operations;
}

}  // namespace sorvel
