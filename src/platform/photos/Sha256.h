#pragma once
// SHA-256 of asset files, kept in the library index so that a damaged or replaced file can be
// told apart from the one that was saved. Computed by Nettle.

#include <nettle/sha2.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvel {

class Sha256 {
public:
    Sha256();
    void update(const std::uint8_t* data, std::size_t size);
    // Ends the hash; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> finish();
    // Lower-case hexadecimal digest.
    std::string finishHex();

    static std::string hex(const std::uint8_t* data, std::size_t size);

private:
    sha256_ctx context_;
};

}  // namespace sorvel
