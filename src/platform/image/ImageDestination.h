#pragma once
// ImageDestination (the platform's CGImageDestination): encodes one bitmap into a byte buffer
// as "public.heic" (libheif + x265), "public.jpeg" or "public.png".
//
// Options (a foundation Dictionary, the platform's keys):
//   kLossyCompressionQuality  number 0.0 (smallest) .. 1.0 (best); default 0.8
//   kOptimizeColorForSharing  bool; accepted (our files are always plain 8-bit nclx/sRGB-like)
//   kHasAlpha                 bool; false drops alpha (the default for HEIC and JPEG)
//   kColorModel               "RGB" (the only model)
//   kProfileName              kColorSpaceDisplayP3 or kColorSpaceSRGB: the pixels are converted
//                             to it and it is written as the colour profile (HEIC: nclx box,
//                             primaries P3 or BT.709, sRGB transfer, full range)
//   "{Exif}", "{GPS}", "{TIFF}" dictionaries written into the file's Exif block (Exif.h)
//   kOrientation              1..8: how a viewer turns the picture to show it upright; the
//                             pixels are not turned. JPEG: the Exif tag. HEIC: the Exif tag and
//                             the irot/imir properties, in a grid container of our own (libheif
//                             1.15 turns the pixels and writes an inconsistent 'ispe' when asked
//                             for them); a HEIC with alpha gets the Exif tag only. PNG: ignored.
//   kHEICEncoderSpeed         "fast" (default), "balanced" or "slow" (bench/image/RESULTS.md)
//   kHEICTileSize             int; when > 0 and the picture is larger than one tile, the HEIC is
//                             a grid of tiles this size (rounded down to a multiple of 8, at
//                             least 64), coded on every core, as phone cameras write theirs:
//                             readers decode the tiles in parallel. Pictures with alpha are
//                             written whole.
//   kHEICThumbnailSize        int; the long side the HEIC's embedded thumbnail ('thmb' item,
//                             turned like the picture) has at least, default kHeicThumbnailSide
//                             (HeicThumbnail.h); 0 writes none. Pictures less than twice that
//                             size and pictures with alpha get none.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"
#include "platform/image/Bitmap.h"

namespace sorvel::image {

inline constexpr const char* kLossyCompressionQuality = "kCGImageDestinationLossyCompressionQuality";
inline constexpr const char* kOptimizeColorForSharing = "kCGImageDestinationOptimizeColorForSharing";
inline constexpr const char* kHasAlpha = "HasAlpha";
inline constexpr const char* kColorModel = "ColorModel";
inline constexpr const char* kColorModelRGB = "RGB";
inline constexpr const char* kProfileName = "ProfileName";
inline constexpr const char* kColorSpaceDisplayP3 = "kCGColorSpaceDisplayP3";
inline constexpr const char* kColorSpaceSRGB = "kCGColorSpaceSRGB";
inline constexpr const char* kOrientation = "Orientation";
inline constexpr const char* kHEICEncoderSpeed = "SorvelHEICEncoderSpeed";
inline constexpr const char* kHEICTileSize = "SorvelHEICTileSize";
inline constexpr const char* kHEICThumbnailSize = "SorvelHEICThumbnailSize";

inline constexpr const char* kTypeHEIC = "public.heic";
inline constexpr const char* kTypeJPEG = "public.jpeg";
inline constexpr const char* kTypePNG = "public.png";

class ImageDestination {
public:
    // Writes into `output` (borrowed: it must outlive the destination; it is filled by
    // finalize()). Nothing for an unknown type or an image count other than 1.
    static std::unique_ptr<ImageDestination> make(Bytes& output, std::string_view type,
                                                  int imageCount = 1);

    // Keeps the bitmap (shared, not copied) and the options for finalize().
    void addImage(const Bitmap& bitmap, const Dictionary& options = {});

    // Encodes. False when no image was added, the encoder fails, or it was already finalised;
    // `output` then holds nothing new. Runs on the calling thread (and, for a tiled HEIC,
    // threads it starts and joins).
    bool finalize();

    ~ImageDestination();

private:
    ImageDestination(Bytes& output, std::string type);
    Bytes& output_;
    std::string type_;
    std::optional<Bitmap> bitmap_;
    Dictionary options_;
    bool finalized_ = false;
};

}  // namespace sorvel::image
