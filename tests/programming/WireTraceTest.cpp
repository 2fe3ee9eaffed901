// What a run log and a wire trace say about a run: the firmware's SHA-256 and data bytes, and
// every call on the port as it happened.
#include "Fakes.h"
#include "FirmwareFile.h"
#include "Programmer.h"
#include "Sha256.h"
#include "TracingSerialPort.h"

#include <gtest/gtest.h>

namespace {

// The published test vectors, and lengths around the 56- and 64-byte block edges.
TEST(Sha256, MatchesTheStandardsVectors) {
    EXPECT_EQ(Sha256::Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256::Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256::Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(Sha256::Hex(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    // Fed in pieces, the same digest as whole.
    Sha256 pieces;
    const std::string text(1000, 'x');
    for (size_t at = 0; at < text.size(); at += 7)
        pieces.Update(text.data() + at, std::min<size_t>(7, text.size() - at));
    Sha256 whole;
    whole.Update(text.data(), text.size());
    EXPECT_EQ(pieces.Finish(), whole.Finish());
}

TEST(FirmwareFile, KnowsItsDigestAndDataBytes) {
    const std::string text = ":0400100012345678D8\r\n:04001400AABBCCDDDA\r\n:00000001FF\r\n";
    const FirmwareFile firmware = FirmwareFile::FromText(text);
    EXPECT_EQ(firmware.Sha256(), Sha256::Hex(text)) << "the file's bytes, line ends included";
    EXPECT_EQ(firmware.DataBytes(), 8u);
    EXPECT_EQ(FirmwareFile::FromText(":0400100012345678D9\r\n:00000001FF\r\n").DataBytes(), 0u)
        << "a refused file sends nothing";
}

TEST(TracingSerialPort, TellsEveryCallOfARunAndChangesNothingOnTheWire) {
    EventLog log;
    FakeSerialPort port(log);
    port.device = GoodDevice();
    FakeWindow window(log);
    std::vector<std::string> trace;
    TracingSerialPort traced(port, [&](const std::string& line) { trace.push_back(line); });
    Programmer run(window, traced);
    run.Programing(FirmwareFile::FromText(":0400100012345678D8\n:00000001FF\n"), "\\\\.\\COM3");
    ASSERT_EQ(run.LastOutcome(), RunOutcome::Ok);

    // Times vary; what happened does not.
    std::vector<std::string> calls;
    for (const std::string& line : trace) {
        const size_t in = line.find(" in ");
        calls.push_back(
            in == std::string::npos ? line : line.substr(0, in) + line.substr(line.find(':', in)));
    }
    const std::vector<std::string> expected = {
        "open \\\\.\\COM3: ok",
        "get line setting: ok",
        "set line 115200 8N1: ok",
        "time limits read 50/100/1000 write 20/1000 ms: ok",
        "purge 0F: ok",
        "DTR 1: ok",
        "RTS 1: ok",
        "RTS 0: ok",
        "time limits read 0/1/100 write 20/1000 ms: ok",
        "purge 0F: ok",
        "write 1/1: FD",
        "read 1/1: EB",
        "time limits read 50/100/1000 write 20/1000 ms: ok",
        "purge 0F: ok",
        "write 9/9: E3 00 10 04 14 34 12 78 56",
        "read 2/2: E7 E4",
        "purge 0F: ok",
        "purge 0F: ok",
        "write 1/1: ED",
        "read 1/1: ED",
        "purge 0F: ok",
        "DTR 0: ok",
        "RTS 1: ok",
        "RTS 0: ok",
        "DTR 0: ok",
        "close",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(port.Frames().size(), 1u);
}

TEST(TracingSerialPort, FailuresAndSilenceShowWithTheirReason) {
    EventLog log;
    FakeSerialPort port(log);
    std::vector<std::string> trace;
    TracingSerialPort traced(port, [&](const std::string& line) { trace.push_back(line); });
    port.failStep = 1;
    port.error = {"", 2, "No such file or directory", PortFailure::NoSuchPort, ""};
    EXPECT_FALSE(traced.Open("/dev/ttyUSB9"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "open /dev/ttyUSB9: Fehler: No such file or directory");

    port.failStep = 0;
    port.device = [](const std::vector<uint8_t>&) { return std::vector<uint8_t>{}; };
    ASSERT_TRUE(traced.Open("/dev/ttyUSB9"));
    uint8_t reply[2];
    traced.ReadFile(reply, 2);
    EXPECT_EQ(trace.back().substr(0, 9), "read 0/2 ") << "a reply that never came";
    EXPECT_EQ(trace.back().find(':'), std::string::npos);
}

} // namespace
