// Intel HEX as the device's firmware files hold it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Writes Intel HEX as the device's firmware files hold it: 16-bit addresses, data records and
// the end record, nothing else.

inline constexpr const char* IntelHexEndRecord = ":00000001FF";

// One data record of `count` bytes (at most 255) at `address`, without a line end.
std::string IntelHexRecord(uint16_t address, const uint8_t* data, size_t count);

// `image` as data records of up to `recordSize` bytes, a new record wherever the addresses
// leave a gap, then the end record; every line ends in `lineEnd`.
std::string IntelHex(const std::map<uint16_t, uint8_t>& image, size_t recordSize,
                     const std::string& lineEnd);

// `data` stored from `address` on; throws std::invalid_argument when it runs past 64 KiB.
std::string IntelHex(uint16_t address, const std::vector<uint8_t>& data, size_t recordSize,
                     const std::string& lineEnd);
