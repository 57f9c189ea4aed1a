#include "platform/image/Filter.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/image/FilterKit.h"

namespace sorvel::image {

void registerBuiltInFilters();  // generated from filters/*.cpp

namespace {
struct Registry {
    std::mutex mutex;
    // Definitions are never destroyed or moved once registered: filters keep pointers to them.
    std::map<std::string, std::unique_ptr<Filter::Definition>, std::less<>> byName;
};
Registry& registry() {
    static Registry r;
    return r;
}
void ensureBuiltIns() {
    static std::once_flag once;
    std::call_once(once, [] { registerBuiltInFilters(); });
}
}  // namespace

void registerFilter(Filter::Definition definition) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::string name = definition.name;
    auto& slot = r.byName[name];
    if (slot) {
        // Keep the old definition alive for filters made from it; point new ones at the new.
        static std::vector<std::unique_ptr<Filter::Definition>> retired;
        retired.push_back(std::move(slot));
    }
    slot = std::make_unique<Filter::Definition>(std::move(definition));
}

std::unique_ptr<Filter> Filter::make(std::string_view name) {
    ensureBuiltIns();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(name);
    if (it == r.byName.end()) return nullptr;
    return std::make_unique<Filter>(*it->second);
}

std::vector<std::string> Filter::names() {
    ensureBuiltIns();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> out;
    for (const auto& [name, def] : r.byName) out.push_back(name);
    return out;
}

Filter::Filter(const Definition& definition) : definition_(&definition), name_(definition.name) {}

const std::string& Filter::summary() const { return definition_->summary; }

void Filter::setValue(std::string_view key, FilterValue value) {
    values_.insert_or_assign(std::string(key), std::move(value));
}

void Filter::setValues(const FilterInputs& inputs) {
    for (const auto& [k, v] : inputs) setValue(k, v);
}

const FilterValue* Filter::value(std::string_view key) const {
    if (auto it = values_.find(key); it != values_.end()) return &it->second;
    if (auto it = definition_->defaults.find(key); it != definition_->defaults.end()) return &it->second;
    return nullptr;
}

std::optional<Image> Filter::outputImage() const {
    if (!definition_->output) return std::nullopt;
    return definition_->output(*this);
}

const Image* inputImage(const Filter& f, std::string_view key) {
    const FilterValue* v = f.value(key);
    return v ? v->image() : nullptr;
}

double number(const Filter& f, std::string_view key, double fallback) {
    const FilterValue* v = f.value(key);
    if (!v || !v->number()) return fallback;
    return *v->number();
}

std::optional<Vector> vector(const Filter& f, std::string_view key) {
    const FilterValue* v = f.value(key);
    if (!v || !v->vector()) return std::nullopt;
    return *v->vector();
}

}  // namespace sorvel::image
