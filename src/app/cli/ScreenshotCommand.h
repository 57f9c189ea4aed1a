#pragma once
// `sorvel-camera screenshot FILE`: the camera screen, headless, saved as a PNG once the preview
// has run for a moment. For looking at the interface without a display.

#include "app/cli/CommandLine.h"

namespace sorvel {

extern const char* const kScreenshotUsage;

// Exit code: 0 when the PNG was written, 1 when it could not be, 2 for bad options.
int runScreenshotCommand(const CommandLine& line, int& argc, char** argv);

}  // namespace sorvel
