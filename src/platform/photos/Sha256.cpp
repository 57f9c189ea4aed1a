#include "Sha256.h"

namespace sorvel {

Sha256::Sha256() { sha256_init(&context_); }

void Sha256::update(const std::uint8_t* data, std::size_t size) { sha256_update(&context_, size, data); }

std::array<std::uint8_t, 32> Sha256::finish() {
    std::array<std::uint8_t, 32> digest{};
    sha256_digest(&context_, digest.size(), digest.data());
    return digest;
}

std::string Sha256::finishHex() {
    auto digest = finish();
    return hex(digest.data(), digest.size());
}

std::string Sha256::hex(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

}  // namespace sorvel
