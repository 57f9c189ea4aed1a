#include "platform/image/HeifStructure.h"

#include <algorithm>

namespace sorvel::image::isobmff {

std::optional<HeifStructure> HeifStructure::read(const std::uint8_t* file, std::size_t size) {
    const auto top = children(file, size);
    const Box* meta = find(top, fourcc("meta"));
    if (!meta || meta->size < 4) return std::nullopt;
    const auto inMeta = children(meta->body + 4, meta->size - 4);
    const Box* pitm = find(inMeta, fourcc("pitm"));
    const Box* iinf = find(inMeta, fourcc("iinf"));
    if (!pitm || pitm->size < 6 || !iinf || iinf->size < 6) return std::nullopt;
    HeifStructure s;
    s.file_ = file, s.size_ = size;
    if (pitm->body[0] == 0) s.primary_ = std::uint32_t(readBE(pitm->body + 4, 2));
    else if (pitm->size >= 8) s.primary_ = std::uint32_t(readBE(pitm->body + 4, 4));
    else return std::nullopt;

    const int countBytes = iinf->body[0] == 0 ? 2 : 4;
    if (iinf->size < std::size_t(4 + countBytes)) return std::nullopt;
    for (const Box& infe : children(iinf->body + 4 + countBytes, iinf->size - 4 - countBytes)) {
        if (infe.type != fourcc("infe") || infe.size < 4) continue;
        const int version = infe.body[0];
        if (version < 2) continue;  // versions 0 and 1 carry no item type
        const std::size_t idBytes = version == 2 ? 2 : 4;
        if (infe.size < 4 + idBytes + 2 + 4) continue;
        const std::uint32_t id = std::uint32_t(readBE(infe.body + 4, int(idBytes)));
        s.types_[id] = std::uint32_t(readBE(infe.body + 4 + idBytes + 2, 4));
    }

    if (const Box* iprp = find(inMeta, fourcc("iprp"))) {
        const auto inIprp = children(iprp->body, iprp->size);
        if (const Box* ipco = find(inIprp, fourcc("ipco"))) s.properties_ = children(ipco->body, ipco->size);
        for (const Box& ipma : inIprp) {
            if (ipma.type != fourcc("ipma") || ipma.size < 8) continue;
            const std::uint8_t* p = ipma.body;
            const std::uint8_t* end = p + ipma.size;
            const int version = p[0];
            const bool wide = (p[3] & 1) != 0;
            const std::uint64_t entries = readBE(p + 4, 4);
            p += 8;
            for (std::uint64_t e = 0; e < entries; ++e) {
                const int idBytes = version < 1 ? 2 : 4;
                if (end - p < idBytes + 1) break;
                const std::uint32_t item = std::uint32_t(readBE(p, idBytes));
                const int count = p[idBytes];
                p += idBytes + 1;
                const int n = wide ? 2 : 1;
                if (end - p < std::ptrdiff_t(count) * n) break;
                auto& list = s.associations_[item];
                for (int a = 0; a < count; ++a, p += n)
                    list.push_back(int(readBE(p, n) & (wide ? 0x7FFFu : 0x7Fu)));
            }
        }
    }

    if (const Box* iref = find(inMeta, fourcc("iref")); iref && iref->size >= 4) {
        const int idBytes = iref->body[0] == 0 ? 2 : 4;
        for (const Box& ref : children(iref->body + 4, iref->size - 4)) {
            const std::uint8_t* p = ref.body;
            const std::uint8_t* end = p + ref.size;
            if (end - p < idBytes + 2) continue;
            const std::uint32_t from = std::uint32_t(readBE(p, idBytes));
            const std::size_t count = std::size_t(readBE(p + idBytes, 2));
            p += idBytes + 2;
            if (std::size_t(end - p) / std::size_t(idBytes) < count) continue;
            auto& list = s.references_[{from, ref.type}];
            for (std::size_t i = 0; i < count; ++i, p += idBytes) list.push_back(std::uint32_t(readBE(p, idBytes)));
        }
    }
    return s;
}

std::uint32_t HeifStructure::itemType(std::uint32_t item) const {
    auto it = types_.find(item);
    return it == types_.end() ? 0 : it->second;
}

const Box* HeifStructure::property(std::uint32_t item, std::uint32_t type) const {
    auto it = associations_.find(item);
    if (it == associations_.end()) return nullptr;
    for (int index : it->second)
        if (index >= 1 && std::size_t(index) <= properties_.size() && properties_[std::size_t(index) - 1].type == type)
            return &properties_[std::size_t(index) - 1];
    return nullptr;
}

std::vector<std::uint32_t> HeifStructure::references(std::uint32_t item, std::uint32_t type) const {
    auto it = references_.find({item, type});
    return it == references_.end() ? std::vector<std::uint32_t>{} : it->second;
}

std::vector<std::uint32_t> HeifStructure::referencing(std::uint32_t item, std::uint32_t type) const {
    std::vector<std::uint32_t> from;
    for (const auto& [key, targets] : references_)
        if (key.second == type && std::find(targets.begin(), targets.end(), item) != targets.end())
            from.push_back(key.first);
    return from;
}

std::vector<const Box*> HeifStructure::properties(std::uint32_t item) const {
    std::vector<const Box*> found;
    auto it = associations_.find(item);
    if (it == associations_.end()) return found;
    for (int index : it->second)
        if (index >= 1 && std::size_t(index) <= properties_.size()) found.push_back(&properties_[std::size_t(index) - 1]);
    return found;
}

std::optional<GridDescriptor> HeifStructure::grid(std::uint32_t item) const {
    auto bytes = data(item);
    if (!bytes || bytes->size() < 8 || (*bytes)[0] != 0) return std::nullopt;
    const int fieldBytes = ((*bytes)[1] & 1) ? 4 : 2;
    if (bytes->size() < std::size_t(4 + 2 * fieldBytes)) return std::nullopt;
    GridDescriptor g;
    g.rows = (*bytes)[2] + 1;
    g.columns = (*bytes)[3] + 1;
    g.width = std::uint32_t(readBE(bytes->data() + 4, fieldBytes));
    g.height = std::uint32_t(readBE(bytes->data() + 4 + fieldBytes, fieldBytes));
    return g;
}

}  // namespace sorvel::image::isobmff
