#include "Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "Uuid.h"

namespace fs = std::filesystem;

namespace sorvel {

bool syncPath(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

WriteResult writeFileAtomically(const fs::path& path, const Bytes& bytes, bool sync) {
    fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    fs::path tmp = dir / ("." + path.filename().string() + ".tmp-" + makeUuid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return {false, "cannot create " + tmp.string() + ": " + std::strerror(errno)};
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string why = std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd);
            ::unlink(tmp.c_str());
            return {false, "cannot write " + path.string() + ": " + why};
        }
        done += static_cast<std::size_t>(n);
    }
    if (sync && ::fsync(fd) != 0) {
        std::string why = std::strerror(errno);
        ::close(fd);
        ::unlink(tmp.c_str());
        return {false, "cannot sync " + path.string() + ": " + why};
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return {false, "cannot rename into " + path.string() + ": " + why};
    }
    if (sync) syncPath(dir);
    return {true, {}};
}

std::optional<Bytes> readFile(const fs::path& path, std::uintmax_t maxBytes) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec || size > maxBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes b(static_cast<std::size_t>(size));
    if (size && !in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(size))) return std::nullopt;
    return b;
}

static std::optional<fs::path> env(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return fs::path(v);
}

static fs::path homeDir() { return env("HOME").value_or(fs::path("/tmp")); }

fs::path appHome(const std::optional<fs::path>& override) {
    if (override) return *override;
    if (auto h = env("SORVEL_HOME")) return *h;
    if (auto x = env("XDG_DATA_HOME")) return *x / "sorvel-camera";
    return homeDir() / ".local/share/sorvel-camera";
}

// Reads XDG_PICTURES_DIR from ~/.config/user-dirs.dirs, as xdg-user-dir does.
static std::optional<fs::path> xdgPicturesDir() {
    if (auto p = env("XDG_PICTURES_DIR")) return *p;
    fs::path config = env("XDG_CONFIG_HOME").value_or(homeDir() / ".config");
    std::ifstream in(config / "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_PICTURES_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = homeDir().string() + v.substr(5);
        if (!v.empty()) return fs::path(v);
    }
    return std::nullopt;
}

fs::path photoLibraryFolder(const std::optional<fs::path>& override) {
    if (override) return *override;
    if (auto l = env("SORVEL_LIBRARY")) return *l;
    if (auto p = xdgPicturesDir()) return *p / "Sorvel";
    return homeDir() / "Pictures/Sorvel";
}

std::string fileTimeStamp(double seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

std::optional<fs::path> moveAside(const fs::path& path, double seconds) {
    std::string base = path.string() + ".damaged-" + fileTimeStamp(seconds);
    for (int i = 1; i < 1000; ++i) {
        fs::path target = i == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(i));
        // link + unlink instead of rename, so an existing target is never replaced.
        if (::link(path.c_str(), target.c_str()) == 0) {
            ::unlink(path.c_str());
            return target;
        }
        if (errno == EEXIST) continue;
        // Filesystems without hard links: fall back to rename after an existence check.
        std::error_code ec;
        if (fs::exists(target, ec)) continue;
        if (::rename(path.c_str(), target.c_str()) == 0) return target;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace sorvel
