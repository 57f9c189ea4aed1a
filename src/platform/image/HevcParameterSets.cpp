#include "platform/image/HevcParameterSets.h"

#include <vector>

namespace sorvel::image::decode {

namespace {

constexpr int kSequenceParameterSet = 33;

// Bits of a NAL unit's payload after its emulation-prevention bytes are removed. Reads past the
// end fail instead of returning bits.
class BitReader {
public:
    explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool skip(std::size_t n) {
        if (n > bytes_.size() * 8 - position_) return false;
        position_ += n;
        return true;
    }
    std::optional<std::uint32_t> bits(int n) {
        if (std::size_t(n) > bytes_.size() * 8 - position_) return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++position_)
            v = (v << 1) | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
        return v;
    }
    // Unsigned Exp-Golomb code; values beyond 32 bits are refused.
    std::optional<std::uint32_t> unsignedGolomb() {
        int zeros = 0;
        for (;;) {
            auto bit = bits(1);
            if (!bit) return std::nullopt;
            if (*bit) break;
            if (++zeros > 31) return std::nullopt;
        }
        auto rest = bits(zeros);
        if (!rest) return std::nullopt;
        return std::uint32_t((std::uint64_t(1) << zeros) - 1 + *rest);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// 0x000003 in a NAL unit is 0x0000 with a byte that keeps start codes out of the payload.
std::vector<std::uint8_t> withoutEmulationPrevention(const std::uint8_t* p, std::size_t n) {
    std::vector<std::uint8_t> out;
    out.reserve(n);
    int zeros = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = p[i] == 0 ? zeros + 1 : 0;
        out.push_back(p[i]);
    }
    return out;
}

std::optional<CodedSize> sizeFromSequenceParameterSet(const std::uint8_t* nal, std::size_t n) {
    BitReader r(withoutEmulationPrevention(nal, n));
    // NAL header (16), video parameter set id (4), then the sub-layer count.
    if (!r.skip(16 + 4)) return std::nullopt;
    const auto maxSubLayersMinus1 = r.bits(3);
    if (!maxSubLayersMinus1 || !r.skip(1)) return std::nullopt;
    // profile_tier_level: the general profile (88 bits) and level (8), sub-layer flags, padding
    // to eight sub-layers, then each present sub-layer profile (88) and level (8).
    if (!r.skip(88 + 8)) return std::nullopt;
    bool profile[8] = {}, level[8] = {};
    for (std::uint32_t i = 0; i < *maxSubLayersMinus1; ++i) {
        const auto p = r.bits(1), l = r.bits(1);
        if (!p || !l) return std::nullopt;
        profile[i] = *p, level[i] = *l;
    }
    if (*maxSubLayersMinus1 > 0 && !r.skip(2 * (8 - *maxSubLayersMinus1))) return std::nullopt;
    for (std::uint32_t i = 0; i < *maxSubLayersMinus1; ++i)
        if (!r.skip((profile[i] ? 88 : 0) + (level[i] ? 8 : 0))) return std::nullopt;
    if (!r.unsignedGolomb()) return std::nullopt;  // sequence parameter set id
    const auto chromaFormat = r.unsignedGolomb();
    if (!chromaFormat || (*chromaFormat == 3 && !r.skip(1))) return std::nullopt;
    const auto width = r.unsignedGolomb(), height = r.unsignedGolomb();
    if (!width || !height) return std::nullopt;
    return CodedSize{*width, *height};
}

}  // namespace

bool forEachParameterSet(const std::uint8_t* config, std::size_t size,
                         const std::function<bool(int type, const std::uint8_t* nal, std::size_t length)>& unit) {
    // 22 bytes of profile and format fields, the array count, then arrays of NAL units: a type
    // byte, a 16-bit count, and each unit after a 16-bit length.
    if (size < 23) return false;
    const std::uint8_t* p = config + 23;
    const std::uint8_t* end = config + size;
    for (int array = 0, arrays = config[22]; array < arrays; ++array) {
        if (end - p < 3) return false;
        const int type = p[0] & 0x3f;
        const int units = (p[1] << 8) | p[2];
        p += 3;
        for (int u = 0; u < units; ++u) {
            if (end - p < 2) return false;
            const std::size_t length = std::size_t((p[0] << 8) | p[1]);
            p += 2;
            if (std::size_t(end - p) < length || !unit(type, p, length)) return false;
            p += length;
        }
    }
    return true;
}

std::optional<CodedSize> codedPictureSize(const std::uint8_t* config, std::size_t size) {
    std::optional<CodedSize> found;
    forEachParameterSet(config, size, [&](int type, const std::uint8_t* nal, std::size_t length) {
        if (type != kSequenceParameterSet) return true;
        found = sizeFromSequenceParameterSet(nal, length);
        return false;  // only the first
    });
    return found;
}

}  // namespace sorvel::image::decode
