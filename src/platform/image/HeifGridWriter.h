#pragma once
// Assembles a HEIF grid picture ('grid' item over hidden HEVC tiles) from tiles that libheif
// encoded one by one as single-picture HEIC files. libheif 1.15 reads grids (and decodes their
// tiles in parallel) but cannot write them; phones write their photos this way.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel::image {

struct HeifGridLayout {
    int width = 0, height = 0;          // of the whole picture; the grid crops the last tiles
    int tileWidth = 0, tileHeight = 0;  // every tile file's coded size
    int columns = 0, rows = 0;
    // 1..8, the Exif orientation values: how a viewer turns the picture to show it upright,
    // written as the grid's 'irot' and 'imir' properties. The pixels are not turned, as phone
    // cameras store theirs in the sensor's orientation.
    int orientation = 1;
};

// The nclx colour description written with the picture.
struct HeifNclx {
    int primaries = 1, transfer = 13, matrix = 6;
    bool fullRange = true;
};

// A reduced copy of the picture, as a single-picture HEIC file of `width` x `height` pixels (in
// the grid's stored orientation), written as a 'thmb' item of the grid: readers that draw many
// photos small decode it instead of the grid.
struct HeifGridThumbnail {
    Bytes file;
    int width = 0, height = 0;
};

// `tiles` are the tile files row by row (columns x rows of them), all coded with the same
// settings (their HEVC configurations must be identical). `exif` is a TIFF-structured block or
// empty; `thumbnail` may be null. The thumbnail shares the grid's colour and transform
// properties, so it shows upright the same way. Nothing, with `why` set, when a tile or the
// thumbnail file cannot be read or the tiles disagree.
std::optional<Bytes> writeHeifGrid(const std::vector<Bytes>& tiles, const HeifGridLayout& layout,
                                   const HeifNclx& nclx, const Bytes& exif, std::string* why = nullptr,
                                   const HeifGridThumbnail* thumbnail = nullptr);

}  // namespace sorvel::image
