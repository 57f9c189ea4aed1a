#include "platform/image/HeifGridWriter.h"

#include <cstring>

#include "platform/image/HeifStructure.h"

namespace sorvel::image {

namespace {

using isobmff::fourcc;

// Big-endian, `bytes` <= 8.
void put(Bytes& out, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void putType(Bytes& out, const char (&type)[5]) { put(out, fourcc(type), 4); }

// (Sized and copied by hand: GCC 12 warns wrongly about inserting one vector into another here.)
Bytes box(const char (&type)[5], const Bytes& body) {
    Bytes out;
    out.reserve(8 + body.size());
    put(out, 8 + body.size(), 4);
    putType(out, type);
    out.resize(8 + body.size());
    if (!body.empty()) std::memcpy(out.data() + 8, body.data(), body.size());
    return out;
}

Bytes fullBox(const char (&type)[5], int version, std::uint32_t flags, const Bytes& body) {
    Bytes inner;
    put(inner, (std::uint32_t(version) << 24) | (flags & 0xFFFFFF), 4);
    inner.insert(inner.end(), body.begin(), body.end());
    return box(type, inner);
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

struct TileCode {
    Bytes configuration;  // the whole 'hvcC' box
    Bytes data;           // the coded picture, length-prefixed NAL units
};

// The primary item's coded data and its HEVC configuration box.
std::optional<TileCode> readTile(const Bytes& file, std::string* why) {
    const auto structure = isobmff::HeifStructure::read(file.data(), file.size());
    if (!structure) return *why = "tile file has no readable item list", std::nullopt;
    const isobmff::Box* config = structure->property(structure->primary(), fourcc("hvcC"));
    if (structure->itemType(structure->primary()) != fourcc("hvc1") || !config)
        return *why = "tile file's picture is not HEVC", std::nullopt;
    auto data = structure->data(structure->primary());
    if (!data || data->empty()) return *why = "tile file's picture data is missing", std::nullopt;
    TileCode code;
    code.configuration.assign(config->start, config->start + config->totalSize);
    code.data = std::move(*data);
    return code;
}

// The Exif item's payload: the offset of the TIFF header within what follows, then the block.
Bytes exifItem(const Bytes& exif) {
    Bytes out(4 + exif.size(), 0);  // the TIFF header comes first: offset 0
    if (!exif.empty()) std::memcpy(out.data() + 4, exif.data(), exif.size());
    return out;
}

// The transformative properties showing orientation value `o`, in the order they apply: a
// rotation by anticlockwise quarter turns, then a mirror (axis 0 flips top and bottom, axis 1
// left and right, as libheif and the readers that follow it apply them).
struct Transform {
    int quarterTurns;
    int mirrorAxis;  // -1: none
};
Transform transformFor(int o) {
    static constexpr Transform kTransforms[9] = {{0, -1}, {0, -1}, {0, 1}, {2, -1}, {0, 0},
                                                  {1, 0},  {3, -1}, {1, 1}, {1, -1}};
    return kTransforms[o >= 1 && o <= 8 ? o : 1];
}

}  // namespace

std::optional<Bytes> writeHeifGrid(const std::vector<Bytes>& tiles, const HeifGridLayout& layout,
                                   const HeifNclx& nclx, const Bytes& exif, std::string* why,
                                   const HeifGridThumbnail* thumbnail) {
    std::string ignored;
    if (!why) why = &ignored;
    const int count = layout.columns * layout.rows;
    if (layout.columns < 1 || layout.rows < 1 || layout.columns > 256 || layout.rows > 256 ||
        std::size_t(count) != tiles.size() || count + 3 > 0xFFFF)
        return *why = "grid needs 1 to 256 columns and rows, one tile file each", std::nullopt;
    if (layout.width < 1 || layout.height < 1 || layout.width > 0xFFFF || layout.height > 0xFFFF ||
        std::int64_t(layout.columns) * layout.tileWidth < layout.width ||
        std::int64_t(layout.rows) * layout.tileHeight < layout.height ||
        std::int64_t(layout.columns - 1) * layout.tileWidth >= layout.width ||
        std::int64_t(layout.rows - 1) * layout.tileHeight >= layout.height)
        return *why = "tiles do not cover the picture exactly", std::nullopt;

    std::vector<TileCode> codes;
    codes.reserve(tiles.size());
    for (const Bytes& tile : tiles) {
        auto code = readTile(tile, why);
        if (!code) return std::nullopt;
        if (!codes.empty() && code->configuration != codes.front().configuration)
            return *why = "tiles were coded with different HEVC configurations", std::nullopt;
        codes.push_back(std::move(*code));
    }
    std::optional<TileCode> thumb;
    if (thumbnail) {
        if (thumbnail->width < 1 || thumbnail->height < 1 || thumbnail->width > 0xFFFF || thumbnail->height > 0xFFFF)
            return *why = "thumbnail has no size", std::nullopt;
        thumb = readTile(thumbnail->file, why);
        if (!thumb) return *why = "thumbnail " + *why, std::nullopt;
    }

    const std::uint32_t gridId = 1, firstTileId = 2;
    const std::uint32_t exifId = firstTileId + std::uint32_t(count);
    const bool withExif = !exif.empty();
    const std::uint32_t thumbId = exifId + (withExif ? 1 : 0);
    const std::uint32_t itemCount = std::uint32_t(count + 1 + (withExif ? 1 : 0) + (thumb ? 1 : 0));

    // Everything in 'meta' but 'iloc', whose file offsets depend on the size of 'meta' itself.
    Bytes hdlr;
    put(hdlr, 0, 4);
    putType(hdlr, "pict");
    for (int reserved = 0; reserved < 3; ++reserved) put(hdlr, 0, 4);
    hdlr.push_back(0);
    Bytes pitm;
    put(pitm, gridId, 2);

    auto infe = [](std::uint32_t id, const char (&type)[5], bool hidden) {
        Bytes body;
        put(body, id, 2);
        put(body, 0, 2);
        putType(body, type);
        body.push_back(0);
        return fullBox("infe", 2, hidden ? 1 : 0, body);
    };
    Bytes iinf;
    put(iinf, itemCount, 2);
    append(iinf, infe(gridId, "grid", false));
    for (int i = 0; i < count; ++i) append(iinf, infe(firstTileId + std::uint32_t(i), "hvc1", true));
    if (withExif) append(iinf, infe(exifId, "Exif", false));
    if (thumb) append(iinf, infe(thumbId, "hvc1", false));

    Bytes dimg;
    put(dimg, gridId, 2);
    put(dimg, std::uint32_t(count), 2);
    for (int i = 0; i < count; ++i) put(dimg, firstTileId + std::uint32_t(i), 2);
    Bytes iref = box("dimg", dimg);
    // A reference from one item to the grid alone: the Exif block describes it, the
    // thumbnail shows it small.
    auto referToGrid = [&](const char (&type)[5], std::uint32_t from) {
        Bytes ref;
        put(ref, from, 2);
        put(ref, 1, 2);
        put(ref, gridId, 2);
        append(iref, box(type, ref));
    };
    if (withExif) referToGrid("cdsc", exifId);
    if (thumb) referToGrid("thmb", thumbId);

    Bytes grid;  // version 0, 16-bit output size
    grid.push_back(0);
    grid.push_back(0);
    grid.push_back(std::uint8_t(layout.rows - 1));
    grid.push_back(std::uint8_t(layout.columns - 1));
    put(grid, std::uint32_t(layout.width), 2);
    put(grid, std::uint32_t(layout.height), 2);

    auto ispe = [](int w, int h) {
        Bytes body;
        put(body, std::uint32_t(w), 4);
        put(body, std::uint32_t(h), 4);
        return fullBox("ispe", 0, 0, body);
    };
    Bytes colr;
    putType(colr, "nclx");
    put(colr, std::uint32_t(nclx.primaries), 2);
    put(colr, std::uint32_t(nclx.transfer), 2);
    put(colr, std::uint32_t(nclx.matrix), 2);
    colr.push_back(nclx.fullRange ? 0x80 : 0);
    Bytes pixi;
    pixi.push_back(3);
    pixi.push_back(8), pixi.push_back(8), pixi.push_back(8);
    // Property indices (1-based) as ordered in 'ipco'; the transforms, when any, follow.
    enum : std::uint8_t { kHvcC = 1, kTileSize, kFullSize, kColr, kPixi };
    Bytes ipco = codes.front().configuration;
    append(ipco, ispe(layout.tileWidth, layout.tileHeight));
    append(ipco, ispe(layout.width, layout.height));
    append(ipco, box("colr", colr));
    append(ipco, fullBox("pixi", 0, 0, pixi));
    // Transformative properties are essential (a reader that cannot apply them must not show
    // the picture) and come after the descriptive ones.
    Bytes transforms;
    const Transform transform = transformFor(layout.orientation);
    std::uint8_t next = kPixi + 1;
    if (transform.quarterTurns != 0) {
        append(ipco, box("irot", Bytes{std::uint8_t(transform.quarterTurns)}));
        transforms.push_back(0x80 | next++);
    }
    if (transform.mirrorAxis >= 0) {
        append(ipco, box("imir", Bytes{std::uint8_t(transform.mirrorAxis)}));
        transforms.push_back(0x80 | next++);
    }
    Bytes gridProperties = {kFullSize, kColr, kPixi};
    append(gridProperties, transforms);
    // The thumbnail's own configuration and size, the grid's colour and transforms.
    Bytes thumbProperties;
    if (thumb) {
        append(ipco, thumb->configuration);
        append(ipco, ispe(thumbnail->width, thumbnail->height));
        thumbProperties = {std::uint8_t(0x80 | next), std::uint8_t(next + 1), kColr, kPixi};
        append(thumbProperties, transforms);
    }
    Bytes ipma;
    put(ipma, std::uint32_t(count + 1 + (thumb ? 1 : 0)), 4);
    put(ipma, gridId, 2);
    ipma.push_back(std::uint8_t(gridProperties.size()));
    append(ipma, gridProperties);
    for (int i = 0; i < count; ++i) {
        put(ipma, firstTileId + std::uint32_t(i), 2);
        ipma.push_back(4);
        // The decoder configuration is essential: a reader that cannot use it must not show the tile.
        ipma.push_back(0x80 | kHvcC), ipma.push_back(kTileSize), ipma.push_back(kColr), ipma.push_back(kPixi);
    }
    if (thumb) {
        put(ipma, thumbId, 2);
        ipma.push_back(std::uint8_t(thumbProperties.size()));
        append(ipma, thumbProperties);
    }
    Bytes iprp = box("ipco", ipco);
    append(iprp, fullBox("ipma", 0, 0, ipma));

    Bytes ftyp;
    putType(ftyp, "heic");
    put(ftyp, 0, 4);
    putType(ftyp, "mif1");
    putType(ftyp, "heic");
    const Bytes ftypBox = box("ftyp", ftyp);

    // iloc, version 1 (construction methods), 4-byte offsets and lengths, one extent per item.
    auto makeIloc = [&](std::uint64_t mdatData) {
        Bytes body;
        body.push_back(0x44);
        body.push_back(0x00);
        put(body, itemCount, 2);
        auto entry = [&](std::uint32_t id, int method, std::uint64_t offset, std::uint64_t length) {
            put(body, id, 2);
            put(body, std::uint32_t(method), 2);
            put(body, 0, 2);
            put(body, 1, 2);
            put(body, offset, 4);
            put(body, length, 4);
        };
        entry(gridId, 1, 0, grid.size());
        std::uint64_t at = mdatData;
        for (const TileCode& c : codes) entry(firstTileId + std::uint32_t(&c - codes.data()), 0, at, c.data.size()), at += c.data.size();
        if (withExif) entry(exifId, 0, at, exifItem(exif).size()), at += exifItem(exif).size();
        if (thumb) entry(thumbId, 0, at, thumb->data.size());
        return fullBox("iloc", 1, 0, body);
    };
    auto makeMeta = [&](std::uint64_t mdatData) {
        Bytes body = fullBox("hdlr", 0, 0, hdlr);
        append(body, fullBox("pitm", 0, 0, pitm));
        append(body, fullBox("iinf", 0, 0, iinf));
        append(body, fullBox("iref", 0, 0, iref));
        append(body, box("idat", grid));
        append(body, makeIloc(mdatData));
        append(body, box("iprp", iprp));
        return fullBox("meta", 0, 0, body);
    };
    // The size of 'meta' does not depend on the offsets written in it (fixed 4-byte fields).
    const std::size_t metaSize = makeMeta(0).size();
    std::uint64_t payload = withExif ? exifItem(exif).size() : 0;
    for (const TileCode& c : codes) payload += c.data.size();
    if (thumb) payload += thumb->data.size();
    const std::uint64_t mdatData = ftypBox.size() + metaSize + 8;
    if (mdatData + payload > 0xFFFFFFFFull) return *why = "picture too large for 32-bit offsets", std::nullopt;

    Bytes out = ftypBox;
    append(out, makeMeta(mdatData));
    put(out, 8 + payload, 4);
    putType(out, "mdat");
    for (const TileCode& c : codes) append(out, c.data);
    if (withExif) append(out, exifItem(exif));
    if (thumb) append(out, thumb->data);
    return out;
}

}  // namespace sorvel::image
