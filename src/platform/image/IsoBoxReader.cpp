#include "platform/image/IsoBoxReader.h"

namespace sorvel::image::isobmff {

std::uint64_t readBE(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

std::vector<Box> children(const std::uint8_t* p, std::size_t n) {
    std::vector<Box> out;
    std::size_t at = 0;
    while (at + 8 <= n && out.size() < 65536) {
        std::uint64_t size = readBE(p + at, 4);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > n) break;
            size = readBE(p + at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = n - at;
        }
        if (size < header || size > n - at) break;
        out.push_back({std::uint32_t(readBE(p + at + 4, 4)), p + at, p + at + header, std::size_t(size - header),
                       std::size_t(size)});
        at += std::size_t(size);
    }
    return out;
}

const Box* find(const std::vector<Box>& boxes, std::uint32_t type) {
    for (const Box& b : boxes)
        if (b.type == type) return &b;
    return nullptr;
}

namespace {

// The boxes inside 'meta' (a full box: four bytes of version and flags first).
std::vector<Box> metaChildren(const std::uint8_t* file, std::size_t size) {
    const auto top = children(file, size);
    const Box* meta = find(top, fourcc("meta"));
    if (!meta || meta->size < 4) return {};
    return children(meta->body + 4, meta->size - 4);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> itemData(const std::uint8_t* file, std::size_t size, std::uint32_t itemId) {
    const auto inMeta = metaChildren(file, size);
    const Box* iloc = find(inMeta, fourcc("iloc"));
    if (!iloc || iloc->size < 8) return std::nullopt;
    const std::uint8_t* p = iloc->body;
    const std::uint8_t* end = p + iloc->size;
    const int version = p[0];
    if (version > 2) return std::nullopt;
    const int offsetSize = p[4] >> 4, lengthSize = p[4] & 15, baseOffsetSize = p[5] >> 4;
    const int indexSize = version >= 1 ? (p[5] & 15) : 0;
    for (int s : {offsetSize, lengthSize, baseOffsetSize, indexSize})
        if (s != 0 && s != 4 && s != 8) return std::nullopt;
    p += 6;
    const int countBytes = version < 2 ? 2 : 4;
    if (end - p < countBytes) return std::nullopt;
    const std::uint64_t count = readBE(p, countBytes);
    p += countBytes;
    for (std::uint64_t i = 0; i < count; ++i) {
        const int idBytes = version < 2 ? 2 : 4;
        const std::ptrdiff_t fixed = idBytes + (version >= 1 ? 2 : 0) + 2 + baseOffsetSize + 2;
        if (end - p < fixed) return std::nullopt;
        const std::uint32_t id = std::uint32_t(readBE(p, idBytes));
        p += idBytes;
        int method = 0;
        if (version >= 1) method = int(readBE(p, 2) & 15), p += 2;
        p += 2;  // data_reference_index
        const std::uint64_t base = readBE(p, baseOffsetSize);
        p += baseOffsetSize;
        const std::uint64_t extents = readBE(p, 2);
        p += 2;
        const std::ptrdiff_t extentBytes = indexSize + offsetSize + lengthSize;
        if (extentBytes == 0 ? false : std::uint64_t(end - p) / std::uint64_t(extentBytes) < extents) return std::nullopt;
        if (id != itemId) {
            p += extents * extentBytes;
            continue;
        }
        const std::uint8_t* source = file;
        std::size_t sourceSize = size;
        if (method == 1) {
            const Box* idat = find(inMeta, fourcc("idat"));
            if (!idat) return std::nullopt;
            source = idat->body, sourceSize = idat->size;
        } else if (method != 0) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> out;
        for (std::uint64_t e = 0; e < extents; ++e) {
            p += indexSize;
            const std::uint64_t offset = base + readBE(p, offsetSize);
            p += offsetSize;
            std::uint64_t length = readBE(p, lengthSize);
            p += lengthSize;
            if (offset > sourceSize) return std::nullopt;
            if (length == 0) length = sourceSize - offset;  // "to the end of the source"
            if (length > sourceSize - offset || out.size() + length > (std::size_t(1) << 30)) return std::nullopt;
            out.insert(out.end(), source + offset, source + offset + length);
        }
        return out;
    }
    return std::nullopt;
}

}  // namespace sorvel::image::isobmff
