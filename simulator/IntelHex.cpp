// Intel HEX written from bytes, for test files and the device's image.
#include "IntelHex.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Records of up to `recordSize` bytes for `count` bytes stored one after another.
void AppendRecords(std::string& hex, uint16_t address, const uint8_t* data, size_t count,
                   size_t recordSize, const std::string& lineEnd) {
    if (recordSize == 0 || recordSize > 255)
        throw std::invalid_argument("an Intel HEX record holds 1 to 255 bytes");
    for (size_t at = 0; at < count; at += recordSize) {
        hex += IntelHexRecord(static_cast<uint16_t>(address + at), data + at,
                              std::min(recordSize, count - at));
        hex += lineEnd;
    }
}

} // namespace

std::string IntelHexRecord(uint16_t address, const uint8_t* data, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    unsigned sum = 0;
    auto put = [&](uint8_t byte) {
        line += digits[byte >> 4];
        line += digits[byte & 0x0F];
        sum += byte;
    };
    put(static_cast<uint8_t>(count));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address));
    put(0x00);
    for (size_t i = 0; i < count; ++i)
        put(data[i]);
    put(static_cast<uint8_t>(-sum));
    return line;
}

std::string IntelHex(const std::map<uint16_t, uint8_t>& image, size_t recordSize,
                     const std::string& lineEnd) {
    std::string hex;
    std::vector<uint8_t> run;
    for (auto it = image.begin(); it != image.end();) {
        const uint16_t start = it->first;
        run.clear();
        while (it != image.end() && it->first == start + run.size()) {
            run.push_back(it->second);
            ++it;
        }
        AppendRecords(hex, start, run.data(), run.size(), recordSize, lineEnd);
    }
    return hex + IntelHexEndRecord + lineEnd;
}

std::string IntelHex(uint16_t address, const std::vector<uint8_t>& data, size_t recordSize,
                     const std::string& lineEnd) {
    if (data.size() > 0x10000u - address)
        throw std::invalid_argument("Intel HEX data past 64 KiB");
    std::string hex;
    AppendRecords(hex, address, data.data(), data.size(), recordSize, lineEnd);
    return hex + IntelHexEndRecord + lineEnd;
}
