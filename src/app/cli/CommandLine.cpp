#include "CommandLine.h"

#include <charconv>

#include "platform/foundation/Value.h"

namespace sorvel {

const char* const kUsageText =
    "Sorvel Camera\n"
    "usage: sorvel-camera [OPTIONS]                 the camera window (headless without a display)\n"
    "       sorvel-camera [OPTIONS] defaults read [KEY] | write KEY -TYPE VALUE | delete KEY\n"
    "       sorvel-camera [OPTIONS] library list [--json] | library check\n"
    "       sorvel-camera [OPTIONS] shoot [--count N] ...   press the shutter headless (shoot --help)\n"
    "       sorvel-camera [OPTIONS] screenshot FILE.png ... the camera screen as a picture\n"
    "options:\n"
    "  --headless        no window (Qt offscreen platform)\n"
    "  --size WxH        window size in points (default 390x844)\n"
    "  --home DIR        app home: settings and permissions (default $SORVEL_HOME,\n"
    "                    else $XDG_DATA_HOME/sorvel-camera)\n"
    "  --library DIR     photo library folder (default $SORVEL_LIBRARY, else ~/Pictures/Sorvel)\n"
    "  --rig FILE        camera rig profile replacing the built-in four cameras\n"
    "  --scene FILE      a picture the virtual cameras see instead of the built-in scene\n"
    "  --camera-backend auto|gstreamer|virtual\n"
    "                    real cameras through GStreamer, or the virtual rig (default auto: real\n"
    "                    cameras when any is found; $SORVEL_CAMERA_BACKEND)\n"
    "  --gst-source PIPELINE\n"
    "                    a GStreamer pipeline ending in the camera source, e.g.\n"
    "                    \"videotestsrc pattern=ball is-live=true\" ($SORVEL_GST_SOURCE)\n";

namespace {

bool parseSize(const std::string& text, double& w, double& h) {
    auto x = text.find('x');
    if (x == std::string::npos) return false;
    auto a = parseNumber(text.substr(0, x));
    auto b = parseNumber(text.substr(x + 1));
    if (!a || !b || *a < 100 || *b < 100 || *a > 10000 || *b > 10000) return false;
    w = *a;
    h = *b;
    return true;
}

}  // namespace

CommandLineResult parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            (void)name;
            return args[++i];
        };
        if (a == "--headless") {
            cl.headless = true;
        } else if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--size") {
            auto v = value("--size");
            if (!v || !parseSize(*v, cl.width, cl.height)) return {std::nullopt, "--size takes WxH, e.g. 390x844"};
        } else if (a == "--home" || a == "--library" || a == "--rig" || a == "--scene") {
            auto v = value(a.c_str());
            if (!v || v->empty()) return {std::nullopt, a + " takes a path"};
            if (a == "--home") cl.home = *v;
            else if (a == "--library") cl.library = *v;
            else if (a == "--rig") cl.rig = *v;
            else cl.scene = *v;
        } else if (a == "--camera-backend") {
            auto v = value(a.c_str());
            if (!v || (*v != "auto" && *v != "gstreamer" && *v != "virtual"))
                return {std::nullopt, "--camera-backend takes auto, gstreamer or virtual"};
            cl.cameraBackend = *v;
        } else if (a == "--gst-source") {
            auto v = value(a.c_str());
            if (!v || v->empty()) return {std::nullopt, "--gst-source takes a GStreamer pipeline description"};
            cl.gstSource = *v;
        } else if (cl.command.empty() && !a.empty() && a[0] != '-') {
            cl.command = a;
        } else if (!cl.command.empty()) {
            cl.arguments.push_back(a);
        } else {
            return {std::nullopt, "unknown option " + a};
        }
    }
    return {cl, {}};
}

}  // namespace sorvel
