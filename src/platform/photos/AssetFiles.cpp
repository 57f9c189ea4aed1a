#include "AssetFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "Sha256.h"
#include "platform/foundation/Uuid.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, std::string& why) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = std::strerror(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr const char* kTagAttribute = "user.sorvel.asset";

bool finishFile(int fd, double modified, const std::string& tag, std::string& why) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(modified);
    times[1].tv_nsec = static_cast<long>((modified - static_cast<double>(times[1].tv_sec)) * 1e9);
    if (times[1].tv_nsec < 0 || times[1].tv_nsec > 999999999) times[1].tv_nsec = 0;
    // The modification time carries the creation date, so an index rebuilt from the files
    // gets the dates back; a failure here only costs that.
    ::futimens(fd, times);
    if (!tag.empty()) ::fsetxattr(fd, kTagAttribute, tag.data(), tag.size(), 0);
    if (::fsync(fd) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string assetFileName(std::int64_t number, std::string_view extension) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "IMG_%04lld.", static_cast<long long>(number));
    return buf + std::string(extension);
}

std::optional<AssetFileName> parseAssetFileName(std::string_view name) {
    if (name.substr(0, 4) != "IMG_") return std::nullopt;
    std::size_t dot = name.find('.', 4);
    if (dot == std::string_view::npos || dot == 4 || dot - 4 > 15 || dot + 1 >= name.size()) return std::nullopt;
    std::int64_t n = 0;
    for (std::size_t i = 4; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    std::string_view ext = name.substr(dot + 1);
    for (char c : ext)
        if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
    return AssetFileName{n, upper(ext)};
}

std::optional<std::string> photoExtension(const Bytes& d) {
    if (d.size() >= 12 && std::memcmp(d.data() + 4, "ftyp", 4) == 0) {
        std::string brand(reinterpret_cast<const char*>(d.data() + 8), 4);
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1" || brand == "heim" ||
            brand == "heis" || brand == "hevc" || brand == "avif")
            return std::string(brand == "avif" ? "AVIF" : "HEIC");
    }
    if (d.size() >= 4 && ((d[0] == 'I' && d[1] == 'I' && d[2] == 42 && d[3] == 0) ||
                          (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && d[3] == 42)))
        return std::string("DNG");
    if (d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return std::string("JPG");
    if (d.size() >= 8 && std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return std::string("PNG");
    return std::nullopt;
}

bool isPhotoExtension(std::string_view e) {
    return e == "HEIC" || e == "HEIF" || e == "AVIF" || e == "DNG" || e == "JPG" || e == "JPEG" || e == "PNG";
}

bool isMovieExtension(std::string_view e) { return e == "MOV" || e == "MP4" || e == "M4V"; }

std::string movieExtension(const fs::path& movie) {
    std::string e = upper(movie.extension().string());
    if (e == ".MP4" || e == ".M4V") return e.substr(1);
    return "MOV";
}

std::optional<WrittenFile> writeNewFile(const fs::path& path, const Bytes& data, double modified, const std::string& tag,
                                        std::string& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string why;
    bool ok = writeAll(fd, data.data(), data.size(), why) && finishFile(fd, modified, tag, why);
    ::close(fd);
    if (!ok) {
        ::unlink(path.c_str());
        error = "cannot write " + path.string() + ": " + why;
        return std::nullopt;
    }
    Sha256 hash;
    hash.update(data.data(), data.size());
    return WrittenFile{data.size(), hash.finishHex()};
}

std::optional<WrittenFile> placeMovie(const fs::path& source, const fs::path& path, bool link, double modified,
                                      const std::string& tag, std::string& error) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "the movie file " + source.string() + " is missing or not a regular file";
        return std::nullopt;
    }
    bool linked = link && ::link(source.c_str(), path.c_str()) == 0;
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read the movie file " + source.string() + ": " + std::strerror(errno);
        if (linked) ::unlink(path.c_str());
        return std::nullopt;
    }
    int out = linked ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                     : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        ::close(in);
        if (linked) ::unlink(path.c_str());
        return std::nullopt;
    }
    // One pass reads the movie for its hash and, when it is copied, writes the copy.
    Sha256 hash;
    std::uint64_t total = 0;
    std::vector<std::uint8_t> buffer(1 << 20);
    std::string why;
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        hash.update(buffer.data(), static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
        if (!linked && !writeAll(out, buffer.data(), static_cast<std::size_t>(n), why)) {
            ok = false;
            break;
        }
    }
    ok = ok && finishFile(out, modified, tag, why);
    ::close(in);
    ::close(out);
    if (!ok) {
        ::unlink(path.c_str());
        error = "cannot place the movie " + source.string() + " in the library: " + why;
        return std::nullopt;
    }
    return WrittenFile{total, hash.finishHex()};
}

std::optional<WrittenFile> describeFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    Sha256 hash;
    std::uint64_t total = 0;
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        hash.update(buffer.data(), static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    return WrittenFile{total, hash.finishHex()};
}

bool renameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link fails on an existing name just the same.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

// "key=value" lines; numbers in their shortest exact decimal form.
std::string encodeAssetTag(const AssetTag& t) {
    std::string s = "sorvel-asset 1\n";
    s += "id=" + t.localIdentifier + "\n";
    s += "created=" + shortestDecimal(t.creationDate.secondsSince1970) + "\n";
    if (t.location)
        s += "location=" + shortestDecimal(t.location->latitude) + "," + shortestDecimal(t.location->longitude) + "," +
             shortestDecimal(t.location->altitude) + "," + shortestDecimal(t.location->timestamp.secondsSince1970) + "\n";
    if (t.pairingIdentifier) s += "pairing=" + *t.pairingIdentifier + "\n";
    s += "resource=" + std::to_string(t.position) + "/" + std::to_string(t.resourceCount) + "\n";
    return s;
}

std::optional<AssetTag> decodeAssetTag(std::string_view text) {
    AssetTag t;
    bool header = false, id = false, created = false, resource = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!header) {
            if (line != "sorvel-asset 1") return std::nullopt;
            header = true;
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "id") {
            t.localIdentifier = std::string(value);
            id = isUuid(t.localIdentifier);
        } else if (key == "created") {
            auto v = parseNumber(value);
            if (!v) return std::nullopt;
            t.creationDate = Date{*v};
            created = true;
        } else if (key == "location") {
            double parts[4];
            for (int i = 0; i < 4; ++i) {
                std::size_t comma = i < 3 ? value.find(',') : value.size();
                if (comma == std::string_view::npos) return std::nullopt;
                auto v = parseNumber(value.substr(0, comma));
                if (!v) return std::nullopt;
                parts[i] = *v;
                value.remove_prefix(std::min(value.size(), comma + 1));
            }
            t.location = Location{parts[0], parts[1], parts[2], Date{parts[3]}};
        } else if (key == "pairing") {
            if (!isUuid(std::string(value))) return std::nullopt;
            t.pairingIdentifier = std::string(value);
        } else if (key == "resource") {
            std::size_t slash = value.find('/');
            auto position = parseNumber(value.substr(0, std::min(slash, value.size())));
            auto count = slash == std::string_view::npos ? std::nullopt : parseNumber(value.substr(slash + 1));
            if (!position || !count || *position < 0 || *count < 1 || *count > 16 || *position >= *count)
                return std::nullopt;
            t.position = static_cast<std::size_t>(*position);
            t.resourceCount = static_cast<std::size_t>(*count);
            resource = true;
        }
    }
    if (!id || !created || !resource) return std::nullopt;
    return t;
}

std::optional<AssetTag> readAssetTag(const fs::path& file) {
    char buffer[1024];
    ssize_t n = ::getxattr(file.c_str(), kTagAttribute, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return decodeAssetTag(std::string_view(buffer, static_cast<std::size_t>(n)));
}

// One line per item, tab-separated: "asset\t<uuid>" and "file\t<final>\t<size>\t<temp>".
std::string encodeJournal(const SaveJournal& j) {
    std::string s;
    for (const auto& id : j.localIdentifiers) s += "asset\t" + id + "\n";
    for (const auto& f : j.files) s += "file\t" + f.finalName + "\t" + std::to_string(f.byteSize) + "\t" + f.tempName + "\n";
    return s;
}

std::optional<SaveJournal> decodeJournal(std::string_view text) {
    SaveJournal j;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            parts.push_back(line.substr(start, tab - start));
        parts.push_back(line.substr(start));
        // Names come from this file: refuse anything that could point outside the folder.
        for (const auto& p : parts)
            if (p.find('/') != std::string::npos || p == "." || p == "..") return std::nullopt;
        if (parts.size() == 2 && parts[0] == "asset") {
            j.localIdentifiers.push_back(parts[1]);
        } else if (parts.size() == 4 && parts[0] == "file" && parseAssetFileName(parts[1]) &&
                   parts[3].rfind(kTempPrefix, 0) == 0) {
            auto size = parseNumber(parts[2]);
            if (!size || *size < 0) return std::nullopt;
            j.files.push_back({parts[1], static_cast<std::uint64_t>(*size), parts[3]});
        } else {
            return std::nullopt;
        }
    }
    return j;
}

}  // namespace sorvel
