#include "app/filters/FilterCodec.h"

#include <cmath>
#include <vector>

#include "app/filters/FilterParameter.h"
#include "app/filters/HanziTable.h"
#include "app/filters/SavedFilter.h"
#include "app/filters/Utf8.h"

namespace sorvel {

namespace {

constexpr std::string_view kCharacterSet = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kSteps = 1295;  // 1296 values, 0 ... 1295: two base-36 digits
constexpr float kUnchangedTolerance = 0.0001f;

std::optional<int> digitValue(char32_t c) {
    if (c >= 0x80) return std::nullopt;
    auto pos = kCharacterSet.find(static_cast<char>(c));
    if (pos == std::string_view::npos) return std::nullopt;
    return static_cast<int>(pos);
}

// A cluster that is a single ASCII character, else 0 (which no lookup accepts).
char asciiOf(const std::u32string& cluster) {
    return cluster.size() == 1 && cluster[0] < 0x80 ? static_cast<char>(cluster[0]) : '\0';
}

std::optional<int> decodePair(const std::u32string& first, const std::u32string& second) {
    const char pair[2] = {asciiOf(first), asciiOf(second)};
    return base36Decode(std::string_view(pair, 2));
}

}  // namespace

std::optional<std::string> base36Encode(std::int64_t n) {
    if (n < 0 || n > kSteps) return std::nullopt;
    return std::string{kCharacterSet[n / 36], kCharacterSet[n % 36]};
}

std::optional<int> base36Decode(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    auto high = digitValue(static_cast<unsigned char>(text[0]));
    auto low = digitValue(static_cast<unsigned char>(text[1]));
    if (!high || !low) return std::nullopt;
    return *high * 36 + *low;
}

std::optional<std::string> base36EncodeNumber(std::int64_t n) { return base36Encode(n); }
std::optional<int> base36DecodeString(std::string_view text) { return base36Decode(text); }

std::optional<char> getCharacterForParameterID(std::int64_t id) {
    if (id < 1 || id > 25) return std::nullopt;
    return kCharacterSet[id - 1];
}

std::optional<std::int64_t> getParameterIDForCharacter(char c) {
    if (c < 'a' || c > 'y') return std::nullopt;
    return c - 'a' + 1;
}

std::optional<int> quantizeFilterValue(float value, float min, float max) {
    if (!std::isfinite(value)) return std::nullopt;
    float scaled = (value - min) / (max - min) * static_cast<float>(kSteps);
    if (std::isnan(scaled)) return std::nullopt;
    // Clamp before converting: a finite value far outside the range may scale to infinity.
    if (scaled < 0) scaled = 0;
    if (scaled > kSteps) scaled = kSteps;
    return static_cast<int>(std::round(scaled));
}

std::optional<std::string> encodeFilter(const Dictionary& filter) {
    auto parameters = parametersOfFilter(filter);
    if (!parameters) return std::nullopt;
    std::string code = "a";
    for (const auto& p : filterParameterCatalogue()) {
        auto letter = getCharacterForParameterID(p.id);
        if (!letter) continue;
        auto it = parameters->find(std::to_string(p.id));
        if (it == parameters->end()) continue;
        float v = it->second;
        if (std::fabs(v - p.defaultValue) < kUnchangedTolerance) continue;
        auto n = quantizeFilterValue(v, p.min, p.max);
        if (!n) return std::nullopt;
        auto digits = base36Encode(*n);
        if (!digits) return std::nullopt;
        code += *letter;
        code += *digits;
    }
    return code;
}

std::optional<Dictionary> decodeFilter(std::string_view code) {
    std::string letters;
    if (isHanziString(code)) {
        auto converted = hanziToBase36String(code);
        if (!converted) return std::nullopt;
        letters = std::move(*converted);
        code = letters;
    }
    auto clusters = graphemeClusters(code);
    if (!clusters || clusters->empty() || asciiOf((*clusters)[0]) != 'a') return std::nullopt;

    Dictionary values;
    // Complete groups only: one or two trailing characters are ignored.
    for (std::size_t i = 1; i + 3 <= clusters->size(); i += 3) {
        auto id = getParameterIDForCharacter(asciiOf((*clusters)[i]));
        if (!id) return std::nullopt;
        auto n = decodePair((*clusters)[i + 1], (*clusters)[i + 2]);
        if (!n) return std::nullopt;
        const FilterParameter* p = findFilterParameter(*id);
        if (!p) return std::nullopt;
        float v = p->min + (static_cast<float>(*n) / static_cast<float>(kSteps)) * (p->max - p->min);
        values.insert_or_assign(std::to_string(*id), Value(v));
    }
    for (const auto& p : filterParameterCatalogue()) values.emplace(std::to_string(p.id), Value(p.defaultValue));
    return Dictionary{{"parameters", Value(std::move(values))}};
}

std::optional<std::string> base36StringToHanzi(std::string_view code) {
    auto clusters = graphemeClusters(code);
    if (!clusters) return std::nullopt;
    if (clusters->size() % 2 != 0) clusters->push_back(U"0");
    const auto& table = kol1500HanziArray();
    std::string out;
    for (std::size_t i = 0; i < clusters->size(); i += 2) {
        auto n = decodePair((*clusters)[i], (*clusters)[i + 1]);
        if (!n || *n >= static_cast<int>(table.size())) return std::nullopt;
        appendUtf8(out, table[*n]);
    }
    return out;
}

std::optional<std::string> hanziToBase36String(std::string_view text) {
    auto clusters = graphemeClusters(text);
    if (!clusters) return std::nullopt;
    std::string out;
    for (const auto& cluster : *clusters) {
        if (cluster.size() != 1) return std::nullopt;
        auto index = hanziTableIndex(cluster[0]);
        if (!index) return std::nullopt;
        auto digits = base36Encode(*index);
        if (!digits) return std::nullopt;
        out += *digits;
    }
    return out;
}

bool isHanziString(std::string_view text) {
    auto clusters = graphemeClusters(text);
    if (!clusters || clusters->empty()) return false;
    for (char32_t c : clusters->front())
        if (isIdeographic(c)) return true;
    return false;
}

}  // namespace sorvel
