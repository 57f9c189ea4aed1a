#pragma once
// What the photo library holds: assets, each with one or more resource files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/location/Location.h"

namespace sorvel {

// Numbered as the phone platform numbers them; the app passes these numbers.
enum class AssetResourceType { Photo = 1, PairedVideo = 9 };

enum class AssetMediaType { Unknown = 0, Image = 1, Video = 2 };

// Bits of PhotoAsset::mediaSubtypes. The Live Photo bit has the platform's value; RAW has no
// platform bit, so it takes one far above the platform's range.
namespace AssetMediaSubtype {
inline constexpr unsigned PhotoLive = 1u << 3;
inline constexpr unsigned PhotoRaw = 1u << 20;
}  // namespace AssetMediaSubtype

struct AssetResource {
    AssetResourceType type = AssetResourceType::Photo;
    std::string fileName;  // inside the library folder, e.g. "IMG_0003.MOV"
    std::uint64_t byteSize = 0;
    std::string sha256;  // lower-case hex of the file's bytes
};

struct PhotoAsset {
    std::string localIdentifier;  // UUID
    std::int64_t number = 0;      // the NNNN of IMG_NNNN, shared by the asset's files
    Date creationDate;
    AssetMediaType mediaType = AssetMediaType::Image;
    unsigned mediaSubtypes = 0;
    std::vector<AssetResource> resources;  // in the order they were added
    std::optional<Location> location;
    std::optional<std::string> pairingIdentifier;  // Live Photos: shared by still and movie
};

// A failed library operation, with a text a person can read.
struct LibraryError {
    std::string description;
};

}  // namespace sorvel
