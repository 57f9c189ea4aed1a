#pragma once
// The item structure of a HEIF file read straight from its boxes: the primary item, item types,
// property associations, 'dimg' references and grid descriptors. Borrows the file's bytes.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/image/IsoBoxReader.h"

namespace sorvel::image::isobmff {

struct GridDescriptor {
    int rows = 0, columns = 0;
    std::uint32_t width = 0, height = 0;  // of the whole picture
};

class HeifStructure {
public:
    // Nothing when the file has no readable 'meta' with a primary item and item list.
    static std::optional<HeifStructure> read(const std::uint8_t* file, std::size_t size);

    std::uint32_t primary() const { return primary_; }
    // Four-character item type ('hvc1', 'grid', 'Exif', ...); 0 for an unknown item.
    std::uint32_t itemType(std::uint32_t item) const;
    // The item's first associated property of `type`, or nothing.
    const Box* property(std::uint32_t item, std::uint32_t type) const;
    // The items `item` refers to with a reference of `type` ('dimg': a grid's tiles in order).
    std::vector<std::uint32_t> references(std::uint32_t item, std::uint32_t type) const;
    // The items that refer to `item` with a reference of `type` ('thmb': its thumbnails).
    std::vector<std::uint32_t> referencing(std::uint32_t item, std::uint32_t type) const;
    // The item's associated properties in association order (transforms apply in that order).
    std::vector<const Box*> properties(std::uint32_t item) const;
    // A 'grid' item's descriptor; nothing when it is malformed.
    std::optional<GridDescriptor> grid(std::uint32_t item) const;
    std::optional<std::vector<std::uint8_t>> data(std::uint32_t item) const { return itemData(file_, size_, item); }

private:
    const std::uint8_t* file_ = nullptr;
    std::size_t size_ = 0;
    std::uint32_t primary_ = 0;
    std::map<std::uint32_t, std::uint32_t> types_;
    std::vector<Box> properties_;
    std::map<std::uint32_t, std::vector<int>> associations_;  // item -> 1-based property indices
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint32_t>> references_;  // (from, type)
};

}  // namespace sorvel::image::isobmff
