#include "JournalEntry.h"

namespace sorvel {

namespace {

constexpr const char* kMagic = "sorvel-capture-journal-1";

Value locationValue(const Location& l) {
    return Value(Dictionary{{"latitude", l.latitude}, {"longitude", l.longitude}, {"altitude", l.altitude},
                            {"timestamp", l.timestamp}});
}

std::optional<Location> locationFrom(const Value& v) {
    if (!v.dictionaryValue() || !v["latitude"].isNumber() || !v["longitude"].isNumber()) return std::nullopt;
    Location l;
    l.latitude = v["latitude"].toReal();
    l.longitude = v["longitude"].toReal();
    l.altitude = v["altitude"].toReal();
    l.timestamp = v["timestamp"].dateValue().value_or(Date{});
    return l;
}

Dictionary stringMap(const std::map<std::string, std::string>& m) {
    Dictionary d;
    for (const auto& [k, v] : m) d[k] = v;
    return d;
}

}  // namespace

bool JournalEntry::settled() const {
    for (const auto& [slot, state] : required)
        if (state == SlotState::Pending || state == SlotState::Retry) return false;
    return true;
}

bool JournalEntry::needsRetry() const {
    for (const auto& [slot, state] : required)
        if (state == SlotState::Retry) return true;
    return false;
}

std::string JournalEntry::assetFor(const char* slot) const {
    auto it = outputs.find(slot);
    return it == outputs.end() ? std::string() : it->second;
}

Bytes encodeJournalEntry(const JournalEntry& e) {
    Dictionary required;
    for (const auto& [slot, state] : e.required) required[slot] = static_cast<int>(state);
    Dictionary d{
        {"magic", kMagic},
        {"identifier", e.identifier},
        {"kind", static_cast<int>(e.kind)},
        {"pressDate", e.pressDate},
        {"settings", Value(e.settings)},
        {"orientation", e.orientation},
        {"frontCamera", e.frontCamera},
        {"cameraID", e.cameraID},
        {"screenScale", e.screenScale},
        {"outputs", Value(stringMap(e.outputs))},
        {"required", Value(std::move(required))},
        {"hasPhoto", e.hasPhoto},
        {"photoSize", static_cast<long long>(e.photoSize)},
        {"photoCrc", static_cast<long long>(e.photoCrc)},
        {"capturedDate", e.capturedDate},
        {"hasMovie", e.hasMovie},
        {"movieFailed", e.movieFailed},
        {"recoveryAttempts", e.recoveryAttempts},
    };
    if (e.filterParameters) d["filterParameters"] = Value(*e.filterParameters);
    if (e.location) d["location"] = locationValue(*e.location);
    return Value(std::move(d)).encode();
}

std::optional<JournalEntry> decodeJournalEntry(const Bytes& bytes) {
    auto value = Value::decode(bytes.data(), bytes.size());
    if (!value || !value->dictionaryValue()) return std::nullopt;
    const Value& v = *value;
    if (v["magic"].toString() != std::string(kMagic) || !v["identifier"].stringValue()) return std::nullopt;
    JournalEntry e;
    e.identifier = *v["identifier"].stringValue();
    std::int64_t kind = v["kind"].toInteger();
    if (kind < 0 || kind > 2) return std::nullopt;
    e.kind = static_cast<CaptureKind>(kind);
    e.pressDate = v["pressDate"].dateValue().value_or(Date{});
    if (const Dictionary* s = v["settings"].dictionaryValue()) e.settings = *s;
    if (const Dictionary* f = v["filterParameters"].dictionaryValue()) e.filterParameters = *f;
    e.orientation = static_cast<int>(v["orientation"].toInteger());
    e.location = locationFrom(v["location"]);
    e.frontCamera = v["frontCamera"].toBool();
    e.cameraID = v["cameraID"].toString().value_or("");
    e.screenScale = v["screenScale"].toReal();
    if (const Dictionary* o = v["outputs"].dictionaryValue())
        for (const auto& [slot, id] : *o)
            if (id.stringValue()) e.outputs[slot] = *id.stringValue();
    if (const Dictionary* r = v["required"].dictionaryValue())
        for (const auto& [slot, state] : *r) {
            std::int64_t s = state.toInteger();
            if (s < 0 || s > 3 || !e.outputs.count(slot)) return std::nullopt;
            e.required[slot] = static_cast<SlotState>(s);
        }
    e.hasPhoto = v["hasPhoto"].toBool();
    e.photoSize = static_cast<std::uint64_t>(v["photoSize"].toInteger());
    e.photoCrc = static_cast<std::uint32_t>(v["photoCrc"].toInteger());
    e.capturedDate = v["capturedDate"].dateValue().value_or(Date{});
    e.hasMovie = v["hasMovie"].toBool();
    e.movieFailed = v["movieFailed"].toBool();
    e.recoveryAttempts = static_cast<int>(v["recoveryAttempts"].toInteger());
    return e;
}

}  // namespace sorvel
