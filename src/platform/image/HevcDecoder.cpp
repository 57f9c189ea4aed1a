#include "platform/image/HevcDecoder.h"

#include <libde265/de265.h>

#include "platform/image/HevcParameterSets.h"
#include "platform/image/IsoBoxReader.h"

namespace sorvel::image::decode {

HevcDecoder::HevcDecoder(int threads) : context_(de265_new_decoder()) {
    if (context_ && threads > 0) de265_start_worker_threads(context_, threads);
}

HevcDecoder::~HevcDecoder() {
    if (context_) de265_free_decoder(context_);
}

bool HevcDecoder::pushLengthPrefixed(const std::uint8_t* data, std::size_t size, int lengthBytes) {
    std::size_t at = 0;
    while (at < size) {
        if (size - at < std::size_t(lengthBytes)) return false;
        const std::uint64_t length = isobmff::readBE(data + at, lengthBytes);
        at += std::size_t(lengthBytes);
        if (length > size - at) return false;
        if (de265_push_NAL(context_, data + at, int(length), 0, nullptr) != DE265_OK) return false;
        at += std::size_t(length);
    }
    return true;
}

bool HevcDecoder::decode(const std::uint8_t* config, std::size_t configSize, const std::uint8_t* data,
                         std::size_t size) {
    planes_ = {};
    if (!context_ || configSize < 23 || size > (std::size_t(1) << 30)) return false;
    de265_reset(context_);
    // The record's last format field holds the size of the stream's NAL lengths in its low bits.
    const int lengthBytes = (config[21] & 3) + 1;
    if (lengthBytes == 3) return false;
    const bool parameterSetsPushed =
        forEachParameterSet(config, configSize, [&](int, const std::uint8_t* nal, std::size_t length) {
            return de265_push_NAL(context_, nal, int(length), 0, nullptr) == DE265_OK;
        });
    if (!parameterSetsPushed || !pushLengthPrefixed(data, size, lengthBytes)) return false;
    if (de265_flush_data(context_) != DE265_OK) return false;
    // libde265 holds a finished picture back until it is taken, so look after every step.
    const de265_image* image = nullptr;
    int more = 1;
    for (int steps = 0; more && !image && steps < 1000000; ++steps) {
        if (de265_decode(context_, &more) != DE265_OK) return false;
        image = de265_get_next_picture(context_);
    }
    if (!image) return false;
    const de265_chroma chroma = de265_get_chroma_format(image);
    if (chroma == de265_chroma_mono) return false;
    for (int c = 0; c < 3; ++c)
        if (de265_get_bits_per_pixel(image, c) != 8) return false;
    YCbCrPlanes p2;
    int strides[3] = {0, 0, 0};
    p2.y = de265_get_image_plane(image, 0, &strides[0]);
    p2.cb = de265_get_image_plane(image, 1, &strides[1]);
    p2.cr = de265_get_image_plane(image, 2, &strides[2]);
    p2.width = de265_get_image_width(image, 0);
    p2.height = de265_get_image_height(image, 0);
    p2.chromaShiftX = chroma == de265_chroma_444 ? 0 : 1;
    p2.chromaShiftY = chroma == de265_chroma_420 ? 1 : 0;
    const int cw = de265_get_image_width(image, 1), ch = de265_get_image_height(image, 1);
    if (!p2.y || !p2.cb || !p2.cr || p2.width <= 0 || p2.height <= 0 || strides[0] < p2.width ||
        cw < (p2.width + (1 << p2.chromaShiftX) - 1) >> p2.chromaShiftX ||
        ch < (p2.height + (1 << p2.chromaShiftY) - 1) >> p2.chromaShiftY || strides[1] < cw || strides[2] < cw)
        return false;
    p2.yStride = std::size_t(strides[0]), p2.cbStride = std::size_t(strides[1]), p2.crStride = std::size_t(strides[2]);
    planes_ = p2;
    matrix_ = de265_get_image_matrix_coefficients(image);
    fullRange_ = de265_get_image_full_range_flag(image) != 0;
    return true;
}

}  // namespace sorvel::image::decode
