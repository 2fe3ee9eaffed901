// Hexadecimal pairs and the write frames made from data records.
#include "Protocol.h"

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint16_t RecordAddress(const std::string& line) {
    return uint16_t(HexPair(line, 3) << 8 | HexPair(line, 5));
}

uint8_t HexPair(const std::string& line, size_t pos) {
    int high = pos < line.size() ? HexDigit(line[pos]) : -1;
    if (high < 0)
        return 0;
    int low = pos + 1 < line.size() ? HexDigit(line[pos + 1]) : -1;
    return static_cast<uint8_t>(low < 0 ? high : high * 16 + low);
}

std::vector<uint8_t> WriteFrame(const std::string& line) {
    const uint8_t count = HexPair(line, 1);
    std::vector<uint8_t> frame(size_t(count) + 5, 0);
    frame[0] = WriteCommand;
    frame[1] = HexPair(line, 3);
    frame[2] = HexPair(line, 5);
    frame[3] = count;
    auto data = [&](size_t n) { return HexPair(line, 9 + 2 * n); };
    uint8_t sum = 0;
    for (size_t k = 0; k < count / 2u; ++k) {
        frame[5 + 2 * k] = data(2 * k + 1);
        frame[6 + 2 * k] = data(2 * k);
        sum = static_cast<uint8_t>(sum + data(2 * k) + data(2 * k + 1));
    }
    // An odd count leaves the last data byte without a place; such records are refused
    // before anything is sent, and the byte stays 0 here.
    frame[4] = sum;
    return frame;
}
