#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An Intel HEX record decoded on its own terms, to judge what the project's code makes of it.
struct HexRecord {
    unsigned type;
    unsigned address;
    std::vector<uint8_t> data;
};

// The oracle's own digits, apart from the project's HexDigit: a fault there must not hide itself.
inline int OracleHexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A well-formed record: ':' then hex pairs (trailing blanks allowed), the byte count matching,
// the checksum making the byte sum 0.
inline std::optional<HexRecord> DecodeRecord(const std::string& line) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    if (end == 0 || line[0] != ':' || (end - 1) % 2 != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i < end; i += 2) {
        const int high = OracleHexDigit(line[i]);
        const int low = OracleHexDigit(line[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(uint8_t(high * 16 + low));
    }
    if (bytes.size() < 5 || bytes.size() != bytes[0] + 5u)
        return std::nullopt;
    unsigned sum = 0;
    for (uint8_t byte : bytes)
        sum += byte;
    if (sum % 256 != 0)
        return std::nullopt;
    return HexRecord{bytes[3], unsigned(bytes[1] << 8 | bytes[2]),
                     std::vector<uint8_t>(bytes.begin() + 4, bytes.end() - 1)};
}
