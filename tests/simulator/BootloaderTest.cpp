// The simulated bootloader: what it answers and what it keeps, as the tests downstream rely on.
#include "Bootloader.h"
#include "Fakes.h"
#include "FirmwareFile.h"
#include "Protocol.h"

#include <gtest/gtest.h>

namespace {

std::string Send(Bootloader& device, const std::vector<uint8_t>& bytes) {
    return Hex(device.Receive(bytes.data(), bytes.size()).bytes);
}

TEST(Bootloader, AnswersOnlyOnceSwitchedOn) {
    Bootloader device(2);
    const auto frame = WriteFrame(":0400100012345678D8");
    EXPECT_EQ(Send(device, {SyncCommand}), "");
    EXPECT_EQ(Send(device, frame), "");
    EXPECT_EQ(Send(device, {EndCommand}), "");
    EXPECT_EQ(Send(device, {SyncCommand, SyncCommand}), "EB");
    EXPECT_EQ(Send(device, {SyncCommand}), "EB");
    EXPECT_EQ(device.Frames(), 0);
    EXPECT_EQ(device.EndCommands(), 0);
}

TEST(Bootloader, KeepsFramesInTheFilesByteOrderWhateverTheChunking) {
    Bootloader device;
    Send(device, {SyncCommand});
    const auto frame = WriteFrame(":0400100012345678D8");
    std::string replies;
    for (uint8_t byte : frame) // as a slow line delivers it
        replies += Send(device, {byte});
    EXPECT_EQ(replies, "E7 E4");
    EXPECT_EQ(Send(device, WriteFrame(":00002000E0")), "E7 E4");
    EXPECT_EQ(Send(device, {EndCommand}), "ED");
    const std::map<uint16_t, uint8_t> expected = {
        {0x10, 0x12}, {0x11, 0x34}, {0x12, 0x56}, {0x13, 0x78}};
    EXPECT_EQ(device.Image(), expected);
    EXPECT_EQ(device.ImageHex(), ":0400100012345678D8\n:00000001FF\n");
    EXPECT_EQ(RecordProblem(device.ImageHex().substr(0, 19), 1), std::nullopt);
}

TEST(Bootloader, RefusesAFrameWithABadChecksumWithoutStoringIt) {
    Bootloader device;
    Send(device, {SyncCommand});
    auto frame = WriteFrame(":0400100012345678D8");
    frame[4] ^= 1;
    EXPECT_EQ(Send(device, frame), "00");
    EXPECT_EQ(device.BadChecksumFrames(), 1);
    EXPECT_TRUE(device.Image().empty());
    EXPECT_EQ(Send(device, WriteFrame(":0400100012345678D8")), "E7 E4"); // in step again
}

TEST(Bootloader, ShowsTheFaultItWasAskedFor) {
    const auto frame = WriteFrame(":0400100012345678D8");
    const std::vector<std::pair<std::string, std::string>> frameFaults = {
        {"silent@2", ""}, {"wrong@2", "E4 E7"}, {"short@2", "E7"}};
    for (const auto& [fault, reply] : frameFaults) {
        Bootloader device(0, Fault::Parse(fault));
        Send(device, {SyncCommand});
        EXPECT_EQ(Send(device, frame), "E7 E4");
        EXPECT_EQ(Send(device, frame), reply) << fault;
        EXPECT_EQ(Send(device, frame), "E7 E4");
    }
    Bootloader unplugged(0, Fault::Parse("hangup@1"));
    Send(unplugged, {SyncCommand});
    EXPECT_TRUE(unplugged.Receive(frame.data(), frame.size()).hangup);

    Bootloader silentEnd(0, Fault::Parse("end-silent")), wrongEnd(0, Fault::Parse("end-wrong"));
    Send(silentEnd, {SyncCommand});
    Send(wrongEnd, {SyncCommand});
    EXPECT_EQ(Send(silentEnd, {EndCommand}), "");
    EXPECT_EQ(Send(wrongEnd, {EndCommand}), "00");

    for (const char* junk : {"silent", "silent@", "wrong@x", "loud@1", "end-quiet"})
        EXPECT_THROW(Fault::Parse(junk), std::invalid_argument) << junk;
}

} // namespace
