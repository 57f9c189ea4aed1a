#pragma once
// A fresh library folder, permissions file, virtual clock and manual main queue per test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Permissions.h"
#include "platform/photos/PhotoLibrary.h"

namespace sorvel::testing {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sorvel-photos-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Installs a virtual clock and a manual main queue; the test thread is the main thread.
struct MainLoop {
    VirtualClock clock{1.7e9};
    ManualMainQueue main{clock};
    MainLoop() {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    ~MainLoop() {
        main.runUntilIdle();
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
};

struct LibraryFixture {
    TempFolder temp;
    MainLoop loop;
    std::filesystem::path libraryFolder = temp.path() / "Library";
    LibraryFixture() { Permissions::setFile(temp.path() / "permissions.conf"); }
    ~LibraryFixture() { Permissions::setFile({}); }
    void setPermission(const std::string& key, const std::string& value) { ASSERT_TRUE(Permissions::setEntry(key, value)); }
};

// What a completion handler saw.
struct CompletionRecord {
    std::mutex mutex;
    int calls = 0;
    bool success = false;
    std::optional<LibraryError> error;
    bool onMainThread = true;

    PhotoLibrary::Completion handler() {
        return [this](bool ok, const std::optional<LibraryError>& e) {
            std::lock_guard lock(mutex);
            ++calls;
            success = ok;
            error = e;
            onMainThread = DispatchQueue::isMainThread();
        };
    }
};

inline Bytes randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// Bytes with a HEIC signature ("ftypheic") followed by noise; the library sniffs only the head.
inline Bytes fakeHeic(std::size_t size, std::uint32_t seed = 1) {
    Bytes b = randomBytes(std::max<std::size_t>(size, 16), seed);
    const std::uint8_t head[12] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'};
    std::copy(std::begin(head), std::end(head), b.begin());
    return b;
}

inline Bytes fakeDng(std::size_t size, std::uint32_t seed = 2) {
    Bytes b = randomBytes(std::max<std::size_t>(size, 8), seed);
    b[0] = 'I', b[1] = 'I', b[2] = 42, b[3] = 0;
    return b;
}

inline void writeBytes(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline Bytes readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::filesystem::path& p) {
    Bytes b = readBytes(p);
    return std::string(b.begin(), b.end());
}

// The names of the files in `folder` a person would see as pictures or movies, plus any
// temporary or journal file of the library.
inline std::set<std::string> visibleFiles(const std::filesystem::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string n = it->path().filename().string();
        if (n.rfind(".sorvel-library.", 0) == 0) continue;  // index, its WAL and the lock
        names.insert(n);
    }
    return names;
}

}  // namespace sorvel::testing
