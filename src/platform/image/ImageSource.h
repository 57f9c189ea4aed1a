#pragma once
// ImageSource (the platform's CGImageSource): an encoded picture's type, size, orientation and
// property dictionary, read without decoding the pixels. HEIC/HEIF, JPEG, PNG, TIFF and DNG.
//
// The property dictionary of image 0 has the platform's layout:
//   "PixelWidth", "PixelHeight" (integers), "Orientation" (1..8, when the file has one),
//   "{Exif}" (ExposureTime, FNumber, ISOSpeedRatings [ints], FocalLength, LensModel,
//             DateTimeOriginal, ... see Exif.h), "{GPS}" (Latitude, LatitudeRef, Longitude,
//   LongitudeRef, Altitude, AltitudeRef, DateStamp, TimeStamp, ...), "{TIFF}" (Make, Model,
//   Software, DateTime, Orientation, ...). Sub-dictionaries appear only when the file has them.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/image/Image.h"

namespace sorvel::image {

class ImageSource {
public:
    // Nothing for bytes that are no picture we know, or whose header is broken or claims
    // a size over ImageLimits. Copies the bytes. Any thread.
    static std::optional<ImageSource> make(const std::uint8_t* data, std::size_t size);
    static std::optional<ImageSource> make(const Bytes& bytes) { return make(bytes.data(), bytes.size()); }

    // Uniform type identifier: "public.heic", "public.jpeg", "public.png", "public.tiff",
    // "com.adobe.raw-image".
    const std::string& type() const { return type_; }
    int width() const { return width_; }    // pixels as stored, before the orientation
    int height() const { return height_; }
    // 1..8; 1 when the file has none. HEIF: from the irot/imir boxes, else the Exif tag.
    int orientation() const { return orientation_; }
    const Dictionary& properties() const { return properties_; }

    // Decodes image 0 as stored (orientation not applied). Nothing for DNG (the RAW
    // developer does that) and for pixels that fail to decode.
    std::optional<Image> image() const;

    // Image 0 at most `maxPixelSize` pixels on its long side (never enlarged), as stored like
    // image(), made from the least the file offers that is at least that large: a HEIC's
    // thumbnail item, a JPEG decoded at 1/2, 1/4 or 1/8 of its size, a DNG's embedded preview;
    // else the picture decoded whole. Damaged or unsuitable thumbnails are passed over. Nothing
    // where image() gives nothing and there is no suitable preview. Any thread.
    std::optional<Image> thumbnail(int maxPixelSize) const;

private:
    std::shared_ptr<const Bytes> bytes_;
    std::string type_;
    int width_ = 0, height_ = 0, orientation_ = 1;
    Dictionary properties_;
};

}  // namespace sorvel::image
