#pragma once
// The picture size an HEVC sequence parameter set declares, read from a HEIF item's 'hvcC'
// record before anything is decoded: a damaged file can pair a small item with a parameter set
// of 65,000 x 65,000 pixels, and a decoder would allocate that (gigabytes) before failing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace sorvel::image::decode {

struct CodedSize {
    std::uint32_t width = 0, height = 0;
};

// Calls `unit` with the NAL unit type and bytes of each parameter set in the 'hvcC' record body
// `config`, in order, until it returns false. False when the record is cut short or `unit`
// stopped the walk.
bool forEachParameterSet(const std::uint8_t* config, std::size_t size,
                         const std::function<bool(int type, const std::uint8_t* nal, std::size_t length)>& unit);

// The luma size of the first sequence parameter set in the 'hvcC' record body `config`;
// nothing when the record holds none or it cannot be read that far.
std::optional<CodedSize> codedPictureSize(const std::uint8_t* config, std::size_t size);

}  // namespace sorvel::image::decode
