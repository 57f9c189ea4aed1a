#include "Uuid.h"

#include <sys/random.h>

#include <cctype>
#include <mutex>
#include <random>

namespace sorvel {

std::string makeUuid() {
    unsigned char b[16];
    // The kernel's generator on every call: a forked child must never repeat its parent's
    // identifiers, which a seeded generator in process memory would.
    if (getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) {
        static std::mutex m;
        static std::mt19937_64 rng{std::random_device{}() ^ (std::uint64_t(std::random_device{}()) << 32)};
        std::lock_guard lock(m);
        for (int i = 0; i < 16; i += 8) {
            auto v = rng();
            for (int j = 0; j < 8; ++j) b[i + j] = static_cast<unsigned char>(v >> (8 * j));
        }
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
        s += hex[b[i] >> 4];
        s += hex[b[i] & 15];
    }
    return s;
}

bool isUuid(const std::string& t) {
    if (t.size() != 36) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? t[i] != '-' : !std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
    }
    return true;
}

}  // namespace sorvel
