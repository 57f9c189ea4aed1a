#pragma once
// The values a named filter takes by key: numbers, vectors of 2 to 4 numbers, images.

#include <array>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace sorvel::image {

class Image;

// The platform's CIVector: 1 to 4 numbers; missing components read as 0.
struct Vector {
    std::array<double, 4> values{0, 0, 0, 0};
    int count = 0;

    Vector() = default;
    Vector(std::initializer_list<double> v) {
        for (double x : v) {
            if (count == 4) break;
            values[count++] = x;
        }
    }
    double operator[](int i) const { return i >= 0 && i < 4 ? values[i] : 0.0; }
    friend bool operator==(const Vector&, const Vector&) = default;
};

// Held through a shared pointer so FilterValue stays valid with Image incomplete here.
class FilterValue {
public:
    FilterValue(double v) : value_(v) {}
    FilterValue(float v) : value_(double(v)) {}
    FilterValue(int v) : value_(double(v)) {}
    FilterValue(Vector v) : value_(v) {}
    FilterValue(const Image& image);

    const double* number() const { return std::get_if<double>(&value_); }
    const Vector* vector() const { return std::get_if<Vector>(&value_); }
    const Image* image() const;

private:
    std::variant<double, Vector, std::shared_ptr<const Image>> value_;
};

using FilterInputs = std::map<std::string, FilterValue, std::less<>>;

}  // namespace sorvel::image
