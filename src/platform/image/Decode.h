#pragma once
// Decoders for encoded pictures (libheif, libjpeg-turbo, libpng). Internal to the image
// framework: callers use Image::fromBytes and ImageSource.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/image/Bitmap.h"

namespace sorvel::image::decode {

enum class Container { Unknown, HEIF, JPEG, PNG, TIFF };

Container sniff(const std::uint8_t* data, std::size_t size);

// The primary picture's pixels as stored (no orientation applied), 8-bit straight RGBA in the
// file's colour space (sRGB, or Display P3 when the file says so). Nothing on any failure and
// for sizes over ImageLimits.
std::optional<Bitmap> decodePrimary(const std::uint8_t* data, std::size_t size);

// The primary HEIF picture decoded to its native YCbCr and converted to RGBA by our own converter
// on every core (the same pixels as libheif's conversion, faster). Nothing when the picture needs
// libheif's conversion (alpha, more than 8 bits, monochrome, other matrices) or does not decode;
// decodePrimary then lets libheif convert.
std::optional<Bitmap> decodeHeifNative(const std::uint8_t* data, std::size_t size);

// The primary HEIF picture's thumbnail (an item with a 'thmb' reference to it) decoded as
// stored by libde265 and our converter, when one is at least `minLongSide` pixels on its long
// side, no larger than the primary, of its proportions and turned by the same transforms.
// Nothing otherwise, and for any item that does not decode.
std::optional<Bitmap> decodeHeifThumbnail(const std::uint8_t* data, std::size_t size, int minLongSide);

// A JPEG decoded at the smallest of 1/8, 1/4, 1/2 and full size (libjpeg scales in its IDCT)
// that keeps its long side at least `minLongSide`; as stored, like decodePrimary.
std::optional<Bitmap> decodeJpegReduced(const std::uint8_t* data, std::size_t size, int minLongSide);

// A RAW file's embedded preview (LibRaw's thumbnail: a JPEG, decoded reduced as above, or an
// RGB bitmap) as stored, when it is at least `minLongSide` on its long side; nothing otherwise.
// In raw/RawPreview.cpp.
std::optional<Bitmap> decodeRawPreview(const std::uint8_t* data, std::size_t size, int minLongSide);

// Header facts of a HEIF file's primary image without decoding it.
struct HeifInfo {
    int width = 0, height = 0;  // as stored (transformations not applied)
    Bytes exif;                 // TIFF-structured block, empty when none
    int transformOrientation = 0;  // orientation value of the irot/imir boxes; 0 when none
};
std::optional<HeifInfo> heifInfo(const std::uint8_t* data, std::size_t size);

// Width and height from a JPEG or PNG header.
std::optional<std::pair<int, int>> headerSize(const std::uint8_t* data, std::size_t size);

}  // namespace sorvel::image::decode
