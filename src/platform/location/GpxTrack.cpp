#include "GpxTrack.h"

#include <cctype>
#include <cmath>

#include "platform/foundation/Dates.h"
#include "platform/foundation/Files.h"

namespace sorvel {

namespace {

// Finds the start of an element named `name` at or after `from` ("<trkpt" followed by a
// space, '>' or '/'), so that "<trkptx" or "<trkseg" are not taken for it.
std::size_t findElement(std::string_view text, std::string_view name, std::size_t from) {
    std::string open(1, '<');
    open.append(name);
    for (std::size_t at = text.find(open, from); at != std::string_view::npos; at = text.find(open, at + 1)) {
        std::size_t after = at + open.size();
        if (after >= text.size()) return std::string_view::npos;
        char c = text[after];
        if (c == '>' || c == '/' || std::isspace(static_cast<unsigned char>(c))) return at;
    }
    return std::string_view::npos;
}

// The value of attribute `name` in a start tag's text, single or double quoted.
std::optional<std::string_view> attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
        std::size_t p = at + name.size();
        while (p < tag.size() && std::isspace(static_cast<unsigned char>(tag[p]))) ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && std::isspace(static_cast<unsigned char>(tag[p]))) ++p;
        if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) return std::nullopt;
        char quote = tag[p];
        std::size_t end = tag.find(quote, p + 1);
        if (end == std::string_view::npos) return std::nullopt;
        return tag.substr(p + 1, end - p - 1);
    }
    return std::nullopt;
}

// Text of the first <name>...</name> inside `body`; nothing when absent. `broken` is set when
// the element opens but never closes.
std::optional<std::string_view> childText(std::string_view body, std::string_view name, bool& broken) {
    std::size_t at = findElement(body, name, 0);
    if (at == std::string_view::npos) return std::nullopt;
    std::size_t open = body.find('>', at);
    if (open == std::string_view::npos) {
        broken = true;
        return std::nullopt;
    }
    std::string close("</");
    close.append(name).append(">");
    std::size_t end = body.find(close, open + 1);
    if (end == std::string_view::npos) {
        broken = true;
        return std::nullopt;
    }
    return body.substr(open + 1, end - open - 1);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<GpxTrack> parseGpx(std::string_view text, std::string& error) {
    if (findElement(text, "gpx", 0) == std::string_view::npos) {
        error = "not a GPX file (no <gpx> element)";
        return std::nullopt;
    }
    GpxTrack track;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = findElement(text, "trkpt", from);
        if (at == std::string_view::npos) break;
        std::string where = "track point " + std::to_string(track.points.size() + 1);
        std::size_t tagEnd = text.find('>', at);
        if (tagEnd == std::string_view::npos) {
            error = where + ": unclosed tag";
            return std::nullopt;
        }
        std::string_view tag = text.substr(at, tagEnd - at);
        bool selfClosing = !tag.empty() && tag.back() == '/';

        GpxPoint point;
        auto lat = attribute(tag, "lat");
        auto lon = attribute(tag, "lon");
        std::optional<double> latValue, lonValue;
        if (lat) latValue = parseNumber(*lat);
        if (lon) lonValue = parseNumber(*lon);
        if (!latValue || !lonValue || std::fabs(*latValue) > 90 || std::fabs(*lonValue) > 180) {
            error = where + ": missing or invalid lat/lon";
            return std::nullopt;
        }
        point.latitude = *latValue;
        point.longitude = *lonValue;

        from = tagEnd + 1;
        if (!selfClosing) {
            std::size_t close = text.find("</trkpt>", from);
            if (close == std::string_view::npos) {
                error = where + ": no </trkpt>";
                return std::nullopt;
            }
            std::string_view body = text.substr(from, close - from);
            // A following point inside the body means this one was never closed.
            if (findElement(body, "trkpt", 0) != std::string_view::npos) {
                error = where + ": no </trkpt>";
                return std::nullopt;
            }
            bool broken = false;
            if (auto ele = childText(body, "ele", broken)) {
                auto v = parseNumber(trimmed(*ele));
                if (!v) {
                    error = where + ": invalid <ele>";
                    return std::nullopt;
                }
                point.elevation = *v;
            }
            if (auto time = childText(body, "time", broken)) {
                point.time = parseIso8601(trimmed(*time));
                if (!point.time) {
                    error = where + ": invalid <time>";
                    return std::nullopt;
                }
            }
            if (broken) {
                error = where + ": unclosed <ele> or <time>";
                return std::nullopt;
            }
            from = close + 8;
        }
        track.points.push_back(point);
    }
    if (track.points.empty()) {
        error = "no track points";
        return std::nullopt;
    }
    return track;
}

std::optional<GpxTrack> loadGpx(const std::filesystem::path& file, std::string& error) {
    auto bytes = readFile(file, std::uintmax_t(64) << 20);
    if (!bytes) {
        error = "cannot read " + file.string() + " (missing, unreadable or larger than 64 MB)";
        return std::nullopt;
    }
    std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    return parseGpx(text, error);
}

}  // namespace sorvel
