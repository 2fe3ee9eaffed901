// The Intel HEX writer behind the simulator's image file and the tests' firmware files.
#include "IntelHex.h"
#include "FirmwareFile.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(IntelHex, RecordsCarryCountAddressDataAndChecksum) {
    const std::vector<uint8_t> data = {0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01,
                                       0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01};
    EXPECT_EQ(IntelHexRecord(0x0100, data.data(), data.size()),
              ":10010000214601360121470136007EFE09D2190140");
    const uint8_t ff = 0xFF; // the bytes add up to 0x100: the checksum is 00, not 100
    EXPECT_EQ(IntelHexRecord(0x0000, &ff, 1), ":01000000FF00");
}

TEST(IntelHex, ImageBreaksRecordsAtGapsAndAtTheRecordSize) {
    const std::map<uint16_t, uint8_t> image = {{0x10, 1}, {0x11, 2}, {0x12, 3},    {0x13, 4},
                                               {0x14, 5}, {0x15, 6}, {0x20, 0xAA}, {0x21, 0xBB}};
    const std::string hex = IntelHex(image, 4, "\r\n");
    EXPECT_EQ(hex, ":0400100001020304E2\r\n:020014000506DF\r\n:02002000AABB79\r\n:00000001FF\r\n");
    // What the writer writes, the programmer accepts (the device takes whole words).
    const FirmwareFile file = FirmwareFile::FromText(hex);
    EXPECT_EQ(file.Problem(), std::nullopt);
    EXPECT_EQ(file.Records().size(), 4u);

    EXPECT_EQ(IntelHex(std::map<uint16_t, uint8_t>{}, 32, "\n"), ":00000001FF\n");
}

TEST(IntelHex, DataReachesTheLastAddressButNotPastIt) {
    std::vector<uint8_t> data;
    for (uint8_t b = 0; b < 16; ++b)
        data.push_back(b);
    EXPECT_EQ(IntelHex(0xFFF0, data, 16, "\n"),
              ":10FFF000000102030405060708090A0B0C0D0E0F89\n:00000001FF\n");
    EXPECT_EQ(IntelHex({{0xFFFE, 0x12}, {0xFFFF, 0x34}}, 32, "\n"),
              ":02FFFE001234BB\n:00000001FF\n");
    data.push_back(16);
    EXPECT_THROW(IntelHex(0xFFF0, data, 16, "\n"), std::invalid_argument);
}

} // namespace
