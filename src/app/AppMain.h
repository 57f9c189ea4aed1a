#pragma once

#include <optional>
#include <string>

#include "app/cli/CommandLine.h"
#include "platform/capture/virtual/VirtualRig.h"

namespace sorvel {

class AppEnvironment;

// Sets the virtual rig up from --rig/--scene in `mode` and opens the photo library the app saves
// into. A message when the rig profile or scene cannot be used.
std::optional<std::string> prepareCameraAndLibrary(const CommandLine& line, const AppEnvironment& env, RigMode mode);

// Before the process ends: waits a while for the presses still being saved, then leaves the rest
// to the capture journal (the next start saves them), saying which it did.
void waitForPendingCaptures(double seconds = 30);

// Runs the camera screen in a window, or headless when asked or when no display exists.
// Returns the process exit code.
int runCameraApp(const CommandLine& line, int& argc, char** argv);

}  // namespace sorvel
