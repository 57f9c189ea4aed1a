#include "app/cli/FilterCommand.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "app/filters/FilterChain.h"
#include "app/filters/FilterCodec.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

namespace {

const char* kUsage =
    "usage: sorvel-camera filter decode CODE [--json]\n"
    "       sorvel-camera filter encode ID=VALUE...\n"
    "       sorvel-camera filter apply CODE IN OUT [--quality Q]\n"
    "  CODE is a letter code (\"aa09hu9\") or its Hanzi form; IDs are 1 to 25 (see decode);\n"
    "  OUT ends in .heic or .jpg/.jpeg; Q is 0 to 1 (default 0.9).";

// Photos larger than this are refused before reading (the decoder's own pixel limit is lower).
constexpr std::uintmax_t kMaxPhotoBytes = std::uintmax_t(1) << 30;

int fail(std::ostream& err, const std::string& why) {
    err << "filter: " << why << "\n";
    return 2;
}

int usage(std::ostream& err, const std::string& why) {
    err << "filter: " << why << "\n" << kUsage << "\n";
    return 2;
}

// Shortest text that reads back as the same float ("1.9984555", "6498.07", "0").
std::string floatText(float v) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int decodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") json = true;
        else positional.push_back(args[i]);
    }
    if (positional.size() != 1) return usage(err, "decode takes one code");
    auto decoded = decodeFilter(positional[0]);
    auto parameters = decoded ? parametersOfFilter(*decoded) : std::nullopt;
    if (!parameters) return fail(err, "invalid filter code: " + positional[0]);

    const auto& catalogue = filterParameterCatalogue();
    if (json) out << "{\"parameters\": [\n";
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const FilterParameter& p = catalogue[i];
        float value = parameters->at(std::to_string(p.id));
        if (json) {
            out << "  {\"id\": " << p.id << ", \"name\": " << jsonString(p.name) << ", \"value\": " << floatText(value)
                << "}" << (i + 1 < catalogue.size() ? "," : "") << "\n";
        } else {
            out << p.id << "\t" << p.name << "\t" << floatText(value) << "\n";
        }
    }
    if (json) out << "]}\n";
    return 0;
}

int encodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParameterMap map = defaultParameterMap();
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto eq = arg.find('=');
        if (eq == std::string::npos) return usage(err, "expected ID=VALUE, got \"" + arg + "\"");
        auto id = parseNumber(std::string_view(arg).substr(0, eq));
        auto value = parseNumber(std::string_view(arg).substr(eq + 1));
        if (!id || *id != std::floor(*id) || !findFilterParameter(static_cast<std::int64_t>(*id)))
            return usage(err, "no parameter with id \"" + arg.substr(0, eq) + "\" (ids are 1 to 25)");
        if (!value || !(std::fabs(*value) <= FLT_MAX))
            return usage(err, "\"" + arg.substr(eq + 1) + "\" is not a number");
        map[std::to_string(static_cast<std::int64_t>(*id))] = static_cast<float>(*value);
    }
    auto code = encodeFilter(makeSavedFilter("", map));
    auto hanzi = code ? base36StringToHanzi(*code) : std::nullopt;
    if (!code || !hanzi) return fail(err, "these values cannot be encoded");
    out << *code << "\n" << *hanzi << "\n";
    return 0;
}

std::string lowercaseExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int applyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    double quality = 0.9;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--quality") {
            if (i + 1 >= args.size()) return usage(err, "--quality needs a value");
            auto q = parseNumber(args[++i]);
            if (!q || *q < 0 || *q > 1) return usage(err, "--quality takes a number from 0 to 1");
            quality = *q;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 3) return usage(err, "apply takes CODE, IN and OUT");
    const std::filesystem::path input = positional[1];
    const std::filesystem::path output = positional[2];

    auto decoded = decodeFilter(positional[0]);
    auto parameters = decoded ? parametersOfFilter(*decoded) : std::nullopt;
    if (!parameters) return fail(err, "invalid filter code: " + positional[0]);

    const std::string ext = lowercaseExtension(output);
    const char* type = nullptr;
    if (ext == ".heic" || ext == ".heif") type = image::kTypeHEIC;
    else if (ext == ".jpg" || ext == ".jpeg") type = image::kTypeJPEG;
    else return usage(err, "OUT must end in .heic or .jpg: " + output.string());

    auto bytes = readFile(input, kMaxPhotoBytes);
    if (!bytes) return fail(err, "cannot read " + input.string());
    auto source = image::ImageSource::make(*bytes);
    auto picture = source ? source->image() : std::nullopt;
    if (!picture) return fail(err, "not a photo this tool can read (JPEG, PNG, HEIC): " + input.string());

    image::Image upright = picture->oriented(source->orientation());
    image::Image filtered = applyFilters(upright, *parameters);
    image::RenderContext context;
    auto bitmap = context.render(filtered, upright.extent());
    if (!bitmap) return fail(err, "the filtered photo could not be rendered");

    Dictionary options{{image::kLossyCompressionQuality, Value(quality)}};
    for (const char* key : {"{Exif}", "{GPS}"}) {
        auto it = source->properties().find(key);
        if (it != source->properties().end() && it->second.dictionaryValue()) options[key] = it->second;
    }
    Bytes encoded;
    auto destination = image::ImageDestination::make(encoded, type);
    if (!destination) return fail(err, "no encoder for " + ext);
    destination->addImage(*bitmap, options);
    if (!destination->finalize()) {
        err << "filter: encoding " << output.string() << " failed\n";
        return 1;
    }
    WriteResult written = writeFileAtomically(output, encoded);
    if (!written.ok) {
        err << "filter: cannot write " << output.string() << ": " << written.error << "\n";
        return 1;
    }
    out << "wrote " << output.string() << " (" << bitmap->width() << " x " << bitmap->height() << ")\n";
    return 0;
}

}  // namespace

int runFilterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage(err, "missing command");
    const std::string& verb = args[0];
    if (verb == "decode") return decodeCommand(args, out, err);
    if (verb == "encode") return encodeCommand(args, out, err);
    if (verb == "apply") return applyCommand(args, out, err);
    return usage(err, "unknown command " + verb);
}

}  // namespace sorvel
