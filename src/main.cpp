// Entry: the camera window, or one of the command-line tools.

#include <iostream>
#include <string>
#include <vector>

#include "app/AppEnvironment.h"
#include "app/AppMain.h"
#include "app/cli/CommandLine.h"
#include "app/cli/DefaultsCommand.h"
#include "app/cli/FilterCommand.h"
#include "app/cli/ScreenshotCommand.h"
#include "app/cli/ShootCommand.h"
#include "platform/photos/LibraryListing.h"
#include "platform/foundation/Files.h"

using namespace sorvel;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLineResult parsed = parseCommandLine(args);
    if (!parsed.line) {
        std::cerr << "sorvel-camera: " << parsed.error << "\n" << kUsageText;
        return 2;
    }
    const CommandLine& line = *parsed.line;
    if (line.help) {
        std::cout << kUsageText;
        return 0;
    }
    if (line.command.empty()) return runCameraApp(line, argc, argv);
    if (line.command == "defaults")
        return runDefaultsCommand(line.arguments, std::cout, std::cerr, AppEnvironment::settingsFile(appHome(line.home)));
    if (line.command == "filter") return runFilterCommand(line.arguments, std::cout, std::cerr);
    if (line.command == "shoot") return runShootCommand(line, argc, argv);
    if (line.command == "screenshot") return runScreenshotCommand(line, argc, argv);
    if (line.command == "library") return runLibraryCommand(line.arguments, std::cout, std::cerr, photoLibraryFolder(line.library));
    std::cerr << "sorvel-camera: unknown command " << line.command << "\n" << kUsageText;
    return 2;
}
