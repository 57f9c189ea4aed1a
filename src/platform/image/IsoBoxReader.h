#pragma once
// Bounds-checked walking of ISO base media boxes (the HEIF container): every read stays inside
// the bytes given; anything malformed ends the walk instead of reading past it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sorvel::image::isobmff {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

// Big-endian unsigned of n bytes (n <= 8); the caller checked that they are there.
std::uint64_t readBE(const std::uint8_t* p, int n);

struct Box {
    std::uint32_t type = 0;
    const std::uint8_t* start = nullptr;  // the header's first byte
    const std::uint8_t* body = nullptr;   // after the header
    std::size_t size = 0;                 // of the body
    std::size_t totalSize = 0;            // header and body
};

// The boxes one after another in [p, p + n), stopping at the first that does not fit.
std::vector<Box> children(const std::uint8_t* p, std::size_t n);
const Box* find(const std::vector<Box>& boxes, std::uint32_t type);

// The data of one item of a HEIF file, from its 'iloc' entry (construction method 0: file
// offsets; 1: inside 'idat'). Nothing when the entry is missing, malformed or points outside.
std::optional<std::vector<std::uint8_t>> itemData(const std::uint8_t* file, std::size_t size,
                                                  std::uint32_t itemId);

}  // namespace sorvel::image::isobmff
