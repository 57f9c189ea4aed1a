#pragma once
// The command line: global options, then an optional command with its own arguments.
//
//   sorvel-camera [--headless] [--size WxH] [--home DIR] [--library DIR] [COMMAND ARGS...]

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sorvel {

struct CommandLine {
    bool headless = false;
    double width = 390;
    double height = 844;
    std::optional<std::filesystem::path> home;
    std::optional<std::filesystem::path> library;
    std::optional<std::filesystem::path> rig;
    std::optional<std::filesystem::path> scene;
    std::optional<std::string> cameraBackend;  // --camera-backend auto|gstreamer|virtual
    std::optional<std::string> gstSource;      // --gst-source "PIPELINE"
    std::string command;  // empty: the camera window
    std::vector<std::string> arguments;
    bool help = false;
};

struct CommandLineResult {
    std::optional<CommandLine> line;
    std::string error;  // set when `line` is empty
};

// Global options may stand before the command or among its arguments; the command's own
// options are passed on untouched.
CommandLineResult parseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsageText;

}  // namespace sorvel
