// SHA-256 of the firmware file, for the run log.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256, so that a run log names exactly the firmware the device received.
class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    std::array<uint8_t, 32> Finish();

    // The digest of `data` in lower-case hexadecimal, as sha256sum writes it.
    static std::string Hex(std::string_view data);

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};
