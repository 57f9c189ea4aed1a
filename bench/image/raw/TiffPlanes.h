#pragma once
// RGB pictures as three float planes, read from and written to TIFF files: the developers'
// outputs (8- or 16-bit integers, or 32-bit floats; any compression libtiff reads) and the
// truth (32-bit float, linear).

#include <optional>
#include <string>
#include <vector>

namespace sorvel::bench {

struct Planes {
    int width = 0, height = 0;
    std::vector<float> r, g, b;  // rows top down

    static Planes sized(int w, int h);
    std::size_t index(int x, int y) const { return std::size_t(y) * std::size_t(width) + std::size_t(x); }
};

// Integer samples come back as 0..1 as stored (still encoded, if the file is); floats as they are.
std::optional<Planes> readTiff(const std::string& path, std::string* error);
// 32-bit float RGB, uncompressed.
bool writeFloatTiff(const std::string& path, const Planes& planes, std::string* error);

}  // namespace sorvel::bench
