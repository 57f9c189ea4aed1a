#pragma once
// SHA-256 of asset files, kept in the library index so that a damaged or replaced file can be
// told apart from the one that was saved.

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
    void block(const std::uint8_t* p);
    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace sorvel
