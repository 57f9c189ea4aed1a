#include "Value.h"

#include "Dates.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace sorvel {

Value::Value(sorvel::Array a) : storage_(std::make_shared<const sorvel::Array>(std::move(a))) {}
Value::Value(sorvel::Dictionary d)
    : storage_(std::make_shared<const sorvel::Dictionary>(std::move(d))) {}

std::optional<bool> Value::boolValue() const {
    if (auto* b = std::get_if<bool>(&storage_)) return *b;
    return std::nullopt;
}
std::optional<std::int64_t> Value::integerValue() const {
    if (auto* i = std::get_if<std::int64_t>(&storage_)) return *i;
    return std::nullopt;
}
std::optional<double> Value::realValue() const {
    if (auto* d = std::get_if<double>(&storage_)) return *d;
    return std::nullopt;
}
const std::string* Value::stringValue() const { return std::get_if<std::string>(&storage_); }
const Bytes* Value::dataValue() const { return std::get_if<Bytes>(&storage_); }
std::optional<sorvel::Date> Value::dateValue() const {
    if (auto* d = std::get_if<sorvel::Date>(&storage_)) return *d;
    return std::nullopt;
}
const sorvel::Array* Value::arrayValue() const {
    if (auto* a = std::get_if<std::shared_ptr<const sorvel::Array>>(&storage_)) return a->get();
    return nullptr;
}
const sorvel::Dictionary* Value::dictionaryValue() const {
    if (auto* d = std::get_if<std::shared_ptr<const sorvel::Dictionary>>(&storage_)) return d->get();
    return nullptr;
}

std::optional<double> parseNumber(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string shortestDecimal(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    if (v == 0) return "0";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc()) return std::to_string(v);
    std::string s(buf, end);
    // to_chars may choose exponent form for large or tiny values; keep plain form for the
    // range people type (settings, exposure values), exponent beyond it.
    if (s.find('e') != std::string::npos && std::fabs(v) >= 1e-5 && std::fabs(v) < 1e16) {
        auto [e2, ec2] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        if (ec2 == std::errc()) s.assign(buf, e2);
    }
    return s;
}

bool Value::toBool() const {
    switch (type()) {
    case Type::Bool: return *boolValue();
    case Type::Integer: return *integerValue() != 0;
    case Type::Real: return *realValue() != 0.0;
    case Type::String: {
        const std::string& s = *stringValue();
        if (auto n = parseNumber(s)) return *n != 0.0;
        std::string lower;
        for (char c : s) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower == "true" || lower == "yes";
    }
    default: return false;
    }
}

static std::int64_t truncateToInteger(double d) {
    if (!std::isfinite(d)) return 0;
    d = std::trunc(d);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (d >= 9223372036854775808.0 || d < -9223372036854775808.0) return 0;
    return static_cast<std::int64_t>(d);
}

std::int64_t Value::toInteger() const {
    switch (type()) {
    case Type::Bool: return *boolValue() ? 1 : 0;
    case Type::Integer: return *integerValue();
    case Type::Real: return truncateToInteger(*realValue());
    case Type::String: {
        const std::string& s = *stringValue();
        std::int64_t i = 0;
        std::string_view t = s;
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), i);
        if (ec == std::errc() && end == t.data() + t.size() && !t.empty()) return i;
        if (auto n = parseNumber(s)) return truncateToInteger(*n);
        return 0;
    }
    default: return 0;
    }
}

double Value::toReal() const {
    switch (type()) {
    case Type::Bool: return *boolValue() ? 1.0 : 0.0;
    case Type::Integer: return static_cast<double>(*integerValue());
    case Type::Real: return *realValue();
    case Type::String: return parseNumber(*stringValue()).value_or(0.0);
    default: return 0.0;
    }
}

std::optional<std::string> Value::toString() const {
    switch (type()) {
    case Type::String: return *stringValue();
    case Type::Integer: return std::to_string(*integerValue());
    case Type::Real: return shortestDecimal(*realValue());
    default: return std::nullopt;
    }
}

const Value& Value::operator[](std::string_view key) const {
    static const Value null;
    const sorvel::Dictionary* d = dictionaryValue();
    if (!d) return null;
    auto it = d->find(key);
    return it == d->end() ? null : it->second;
}

bool operator==(const Value& a, const Value& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
    case Value::Type::Array: return *a.arrayValue() == *b.arrayValue();
    case Value::Type::Dictionary: return *a.dictionaryValue() == *b.dictionaryValue();
    default: return a.storage_ == b.storage_;
    }
}

static std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string Value::describe() const {
    switch (type()) {
    case Type::Null: return "null";
    case Type::Bool: return *boolValue() ? "true" : "false";
    case Type::Integer: return std::to_string(*integerValue());
    case Type::Real: return shortestDecimal(*realValue());
    case Type::String: return quoted(*stringValue());
    case Type::Data: {
        static const char* hex = "0123456789abcdef";
        std::string s = "<";
        for (auto b : *dataValue()) {
            s += hex[b >> 4];
            s += hex[b & 15];
        }
        return s + ">";
    }
    case Type::Date: return formatIso8601(*dateValue());
    case Type::Array: {
        std::string s = "(";
        bool first = true;
        for (const Value& v : *arrayValue()) {
            s += first ? "" : ", ";
            s += v.describe();
            first = false;
        }
        return s + ")";
    }
    case Type::Dictionary: {
        std::string s = "{";
        bool first = true;
        for (const auto& [k, v] : *dictionaryValue()) {
            s += first ? "" : ", ";
            s += quoted(k) + " = " + v.describe();
            first = false;
        }
        return s + "}";
    }
    }
    return "null";
}

// Binary form: one tag byte, then a payload. Lengths and counts are little-endian u64.
namespace {

void putU64(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void encodeInto(const Value& v, Bytes& out) {
    out.push_back(static_cast<std::uint8_t>(v.type()));
    switch (v.type()) {
    case Value::Type::Null: break;
    case Value::Type::Bool: out.push_back(*v.boolValue() ? 1 : 0); break;
    case Value::Type::Integer: putU64(out, static_cast<std::uint64_t>(*v.integerValue())); break;
    case Value::Type::Real:
    case Value::Type::Date: {
        double d = v.type() == Value::Type::Real ? *v.realValue() : v.dateValue()->secondsSince1970;
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        putU64(out, bits);
        break;
    }
    case Value::Type::String: {
        const std::string& s = *v.stringValue();
        putU64(out, s.size());
        out.insert(out.end(), s.begin(), s.end());
        break;
    }
    case Value::Type::Data: {
        const Bytes& b = *v.dataValue();
        putU64(out, b.size());
        out.insert(out.end(), b.begin(), b.end());
        break;
    }
    case Value::Type::Array:
        putU64(out, v.arrayValue()->size());
        for (const Value& e : *v.arrayValue()) encodeInto(e, out);
        break;
    case Value::Type::Dictionary:
        putU64(out, v.dictionaryValue()->size());
        for (const auto& [k, e] : *v.dictionaryValue()) {
            putU64(out, k.size());
            out.insert(out.end(), k.begin(), k.end());
            encodeInto(e, out);
        }
        break;
    }
}

struct Reader {
    const std::uint8_t* p;
    std::size_t left;
    int depth = 0;

    bool u64(std::uint64_t& v) {
        if (left < 8) return false;
        v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
        p += 8;
        left -= 8;
        return true;
    }
    bool bytes(std::uint64_t n, const std::uint8_t*& start) {
        if (n > left) return false;
        start = p;
        p += n;
        left -= n;
        return true;
    }
    std::optional<Value> value() {
        // Nesting deeper than any real record is a damaged or hostile blob.
        if (left < 1 || depth > 64) return std::nullopt;
        auto tag = *p++;
        --left;
        std::uint64_t n = 0;
        const std::uint8_t* start = nullptr;
        switch (static_cast<Value::Type>(tag)) {
        case Value::Type::Null: return Value();
        case Value::Type::Bool:
            if (left < 1 || *p > 1) return std::nullopt;
            --left;
            return Value(*p++ == 1);
        case Value::Type::Integer:
            if (!u64(n)) return std::nullopt;
            return Value(static_cast<long long>(n));
        case Value::Type::Real:
        case Value::Type::Date: {
            if (!u64(n)) return std::nullopt;
            double d;
            std::memcpy(&d, &n, 8);
            if (static_cast<Value::Type>(tag) == Value::Type::Date) return Value(sorvel::Date{d});
            return Value(d);
        }
        case Value::Type::String:
            if (!u64(n) || !bytes(n, start)) return std::nullopt;
            return Value(std::string(reinterpret_cast<const char*>(start), n));
        case Value::Type::Data:
            if (!u64(n) || !bytes(n, start)) return std::nullopt;
            return Value(Bytes(start, start + n));
        case Value::Type::Array: {
            // Every element takes at least one byte, so a count beyond the rest is a lie.
            if (!u64(n) || n > left) return std::nullopt;
            sorvel::Array a;
            a.reserve(n);
            ++depth;
            for (std::uint64_t i = 0; i < n; ++i) {
                auto e = value();
                if (!e) return std::nullopt;
                a.push_back(std::move(*e));
            }
            --depth;
            return Value(std::move(a));
        }
        case Value::Type::Dictionary: {
            if (!u64(n) || n > left / 9) return std::nullopt;
            sorvel::Dictionary d;
            ++depth;
            for (std::uint64_t i = 0; i < n; ++i) {
                std::uint64_t kn = 0;
                if (!u64(kn) || !bytes(kn, start)) return std::nullopt;
                std::string key(reinterpret_cast<const char*>(start), kn);
                auto e = value();
                if (!e) return std::nullopt;
                d[std::move(key)] = std::move(*e);
            }
            --depth;
            return Value(std::move(d));
        }
        }
        return std::nullopt;
    }
};

}  // namespace

Bytes Value::encode() const {
    Bytes out;
    encodeInto(*this, out);
    return out;
}

std::optional<Value> Value::decode(const std::uint8_t* data, std::size_t size) {
    if (!data && size) return std::nullopt;
    Reader r{data, size};
    auto v = r.value();
    if (!v || r.left != 0) return std::nullopt;
    return v;
}

}  // namespace sorvel
