#pragma once
// One variant type for every stored or exchanged value: settings, image metadata
// ("{Exif}", "{GPS}"), saved filters. Arrays and dictionaries are shared immutably, so
// copying a Value is cheap whatever it holds.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sorvel {

using Bytes = std::vector<std::uint8_t>;

// A point in time as seconds since 1970-01-01T00:00:00Z.
struct Date {
    double secondsSince1970 = 0.0;
    friend bool operator==(const Date&, const Date&) = default;
    friend auto operator<=>(const Date&, const Date&) = default;
    static Date distantPast() { return Date{-62135769600.0}; }
};

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

class Value {
public:
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

    Value() = default;
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(unsigned u) : storage_(static_cast<std::int64_t>(u)) {}
    Value(float f) : storage_(static_cast<double>(f)) {}
    Value(double d) : storage_(d) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(Bytes b) : storage_(std::move(b)) {}
    Value(sorvel::Date d) : storage_(d) {}
    Value(sorvel::Array a);
    Value(sorvel::Dictionary d);

    Type type() const { return static_cast<Type>(storage_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isNumber() const { return type() == Type::Integer || type() == Type::Real; }

    // Exact-type accessors: nothing when the value holds another type.
    std::optional<bool> boolValue() const;
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> realValue() const;
    const std::string* stringValue() const;
    const Bytes* dataValue() const;
    std::optional<sorvel::Date> dateValue() const;
    const sorvel::Array* arrayValue() const;
    const sorvel::Dictionary* dictionaryValue() const;

    // Converting readers, one table for the whole system:
    //   bool:    bool as is; a number is true when non-zero; a numeric string reads as that
    //            number; "true"/"yes" (any case) read true; anything else reads false.
    //   integer: integers as is; reals truncated toward zero (non-finite or out of range: 0);
    //            bool 0/1; numeric strings as their number; anything else 0.
    //   real:    numbers as is; bool 0/1; numeric strings as their number; anything else 0.
    //   string:  strings as is; numbers in their shortest decimal form; anything else nothing.
    bool toBool() const;
    std::int64_t toInteger() const;
    double toReal() const;
    std::optional<std::string> toString() const;

    // Dictionary lookup; a null Value when this is not a dictionary or the key is missing.
    const Value& operator[](std::string_view key) const;

    friend bool operator==(const Value& a, const Value& b);

    // Human-readable, stable text (used by `defaults read` and in test failure messages).
    std::string describe() const;

    // Self-describing binary form; decode rejects malformed or truncated input.
    Bytes encode() const;
    static std::optional<Value> decode(const std::uint8_t* data, std::size_t size);

private:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes,
                                 sorvel::Date, std::shared_ptr<const sorvel::Array>,
                                 std::shared_ptr<const sorvel::Dictionary>>;
    Storage storage_;
};

// Shortest decimal text that reads back as the same double ("0.65", "1", "-0.7").
std::string shortestDecimal(double v);

// Parses a whole string as a finite decimal number (leading/trailing spaces allowed).
std::optional<double> parseNumber(std::string_view text);

}  // namespace sorvel
