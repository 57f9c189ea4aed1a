#pragma once
// `sorvel-camera shoot`: the camera app, headless, pressing its own shutter.

#include "app/cli/CommandLine.h"

namespace sorvel {

// Exit code: 0 when every press produced what the settings ask for, 1 when a press failed or
// timed out, 2 for bad options (nothing captured then).
int runShootCommand(const CommandLine& line, int& argc, char** argv);

}  // namespace sorvel
