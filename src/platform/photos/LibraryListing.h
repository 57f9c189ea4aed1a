#pragma once
// `sorvel-camera library list [--json]`: the library's assets, newest first, for people and
// scripts.

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace sorvel {

// `args` are the words after the program name, starting with "library". Reads the index without
// changing the folder. Returns the exit code: 0 done, 1 the library cannot be read, 2 usage.
int runLibraryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const std::filesystem::path& libraryFolder);

}  // namespace sorvel
