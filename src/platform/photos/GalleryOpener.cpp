#include "GalleryOpener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/foundation/Dispatch.h"

extern char** environ;

namespace sorvel {

std::optional<std::string> openGalleryAndWait(const std::filesystem::path& folder) {
    std::string program = "xdg-open";
    std::string target = folder.string();
    std::vector<char*> argv = {program.data(), target.data(), nullptr};
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) return "cannot run xdg-open: " + std::string(std::strerror(rc));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return "cannot wait for xdg-open: " + std::string(std::strerror(errno));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
    // posix_spawnp reports a missing program through the child's exit status 127.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "xdg-open is not installed";
    if (WIFEXITED(status))
        return "xdg-open could not open " + target + " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    return "xdg-open was ended by signal " + std::to_string(WTERMSIG(status));
}

void openGallery(const std::filesystem::path& folder,
                 std::function<void(const std::optional<std::string>& error)> completion) {
    DispatchQueue::global().async([folder, completion = std::move(completion)] {
        auto error = openGalleryAndWait(folder);
        if (completion) completion(error);
    });
}

}  // namespace sorvel
