#pragma once
// `sorvel-camera defaults read|write|delete`: reads and changes the settings store the app
// uses, from the command line.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace sorvel {

// `args` starts after the word "defaults". Returns the process exit code: 0 done, 1 no such
// key, 2 usage error (nothing written).
int runDefaultsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::filesystem::path& settingsFile);

}  // namespace sorvel
