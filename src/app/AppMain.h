#pragma once

#include "app/cli/CommandLine.h"

namespace sorvel {

// Runs the camera screen in a window, or headless when asked or when no display exists.
// Returns the process exit code.
int runCameraApp(const CommandLine& line, int& argc, char** argv);

}  // namespace sorvel
