#include "GpxTrack.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/foundation/Dates.h"
#include "platform/foundation/Files.h"

namespace sorvel {

namespace {

// Element names without a namespace prefix ("gpx:trkpt" is a trkpt).
std::string_view localName(const XML_Char* name) {
    std::string_view n(name);
    auto colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// What expat's callbacks build; the first problem stops the parser.
struct Reader {
    XML_Parser parser = nullptr;
    GpxTrack track;
    std::string error;
    bool sawGpx = false;
    int depth = 0;
    bool inPoint = false;
    GpxPoint point;
    std::string collecting;  // "ele" or "time" while inside one, else empty
    std::string text;
    bool haveEle = false, haveTime = false;

    std::string where() const { return "track point " + std::to_string(track.points.size() + 1); }
    void fail(std::string why) {
        if (error.empty()) error = std::move(why);
        XML_StopParser(parser, XML_FALSE);
    }

    void start(const XML_Char* rawName, const XML_Char** attributes) {
        std::string_view name = localName(rawName);
        if (depth++ == 0 && name != "gpx") return fail("not a GPX file (no <gpx> element)");
        if (name == "gpx") sawGpx = true;
        if (name == "trkpt") {
            if (inPoint) return fail(where() + ": no </trkpt>");
            std::optional<double> lat, lon;
            for (const XML_Char** a = attributes; a && a[0]; a += 2) {
                std::string_view key = localName(a[0]);
                if (key == "lat") lat = parseNumber(a[1]);
                else if (key == "lon") lon = parseNumber(a[1]);
            }
            if (!lat || !lon || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
                return fail(where() + ": missing or invalid lat/lon");
            inPoint = true;
            point = GpxPoint{*lat, *lon, 0, std::nullopt};
            haveEle = haveTime = false;
        } else if (inPoint && collecting.empty() && ((name == "ele" && !haveEle) || (name == "time" && !haveTime))) {
            collecting = name;
            text.clear();
        }
    }

    void end(const XML_Char* rawName) {
        --depth;
        std::string_view name = localName(rawName);
        if (!collecting.empty() && name == collecting) {
            if (collecting == "ele") {
                auto v = parseNumber(trimmed(text));
                if (!v) return fail(where() + ": invalid <ele>");
                point.elevation = *v;
                haveEle = true;
            } else {
                point.time = parseIso8601(trimmed(text));
                if (!point.time) return fail(where() + ": invalid <time>");
                haveTime = true;
            }
            collecting.clear();
        } else if (name == "trkpt" && inPoint) {
            track.points.push_back(point);
            inPoint = false;
        }
    }
};

}  // namespace

std::optional<GpxTrack> parseGpx(std::string_view text, std::string& error) {
    Reader reader;
    reader.parser = XML_ParserCreate(nullptr);
    if (!reader.parser) {
        error = "cannot start the XML parser";
        return std::nullopt;
    }
    XML_SetUserData(reader.parser, &reader);
    XML_SetElementHandler(
        reader.parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) { static_cast<Reader*>(data)->start(name, attributes); },
        [](void* data, const XML_Char* name) { static_cast<Reader*>(data)->end(name); });
    XML_SetCharacterDataHandler(reader.parser, [](void* data, const XML_Char* s, int length) {
        auto* r = static_cast<Reader*>(data);
        if (!r->collecting.empty()) r->text.append(s, static_cast<std::size_t>(length));
    });
    // Fed in pieces: expat takes an int length.
    bool ok = true;
    std::size_t at = 0;
    do {
        std::size_t piece = std::min<std::size_t>(text.size() - at, 1 << 20);
        bool last = at + piece == text.size();
        if (XML_Parse(reader.parser, text.data() + at, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            ok = false;
            if (reader.error.empty()) {
                std::string where = reader.inPoint ? reader.where() + ": " : std::string();
                reader.error = where + "not well-formed XML (" + XML_ErrorString(XML_GetErrorCode(reader.parser)) +
                               " at line " + std::to_string(XML_GetCurrentLineNumber(reader.parser)) + ")";
            }
            break;
        }
        at += piece;
    } while (at < text.size());
    XML_ParserFree(reader.parser);
    if (!ok || !reader.error.empty()) {
        error = reader.error;
        return std::nullopt;
    }
    if (!reader.sawGpx) {
        error = "not a GPX file (no <gpx> element)";
        return std::nullopt;
    }
    if (reader.track.points.empty()) {
        error = "no track points";
        return std::nullopt;
    }
    return reader.track;
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
