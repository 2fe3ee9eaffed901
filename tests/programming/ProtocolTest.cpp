// Frames as the device receives them, and the line reader's rules for the firmware file.
#include "Protocol.h"
#include "Fakes.h"
#include "FirmwareFile.h"
#include "MessageText.h"
#include "TempDir.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(WriteFrame, CarriesAddressCountChecksumAndSwappedWords) {
    EXPECT_EQ(Hex(WriteFrame(":0400100012345678D8")), "E3 00 10 04 14 34 12 78 56");
    EXPECT_EQ(Hex(WriteFrame(":0400100012345678d8")), Hex(WriteFrame(":0400100012345678D8")));
    EXPECT_EQ(Hex(WriteFrame(":04abcd00deadbeef00")), "E3 AB CD 04 38 AD DE EF BE");
    EXPECT_EQ(Hex(WriteFrame(":00ABCD0000")), "E3 AB CD 00 00");
    // The record's own checksum is neither checked nor sent.
    EXPECT_EQ(Hex(WriteFrame(":0400100012345678FF")), "E3 00 10 04 14 34 12 78 56");
}

TEST(WriteFrame, LargestRecordFitsTheDevicesBuffer) {
    std::string line = ":24000000";
    for (int i = 0; i < 36; ++i)
        line += "FF";
    auto frame = WriteFrame(line + "DC");
    EXPECT_EQ(frame.size(), FrameBufferSize);
    EXPECT_EQ(frame[4], uint8_t(36 * 0xFF));
}

TEST(WriteFrame, MalformedDigitsAndShortLinesFollowTheLenientRule) {
    EXPECT_EQ(HexPair("1G", 0), 1); // bad second digit: the first digit's value
    EXPECT_EQ(HexPair("G1", 0), 0); // bad first digit: 0
    EXPECT_EQ(HexPair("7", 0), 7);  // line ends after one digit
    EXPECT_EQ(HexPair("", 5), 0);   // never read past the end
    EXPECT_EQ(WriteFrame(":04").size(), 9u);
}

TEST(RecordChecks, RecordTypesAreTakenFromCharactersEightAndNine) {
    EXPECT_TRUE(IsDataRecord(":0400100012345678D8"));
    EXPECT_TRUE(IsEndRecord(":00000001FF"));
    EXPECT_FALSE(IsDataRecord(":020000040000FA"));
    EXPECT_FALSE(IsEndRecord(":0000"));
    EXPECT_EQ(RecordProblem(":00000001FF", 1), std::nullopt);
    EXPECT_EQ(RecordProblem(":00000001ff \t", 1), std::nullopt);
    EXPECT_NE(RecordProblem(": 0000001FF", 1), std::nullopt);
    EXPECT_NE(RecordProblem(":00000001FF00", 1), std::nullopt); // longer than its fields
    EXPECT_NE(RecordProblem(":", 1), std::nullopt);
}

using LineList = std::vector<std::string>;

LineList Lines(const std::string& content) {
    LineReader reader(content);
    LineList lines;
    while (!reader.Eof())
        lines.push_back(reader.ReadLine());
    return lines;
}

TEST(FirmwareLines, LineEndsFollowTheTextFileRules) {
    EXPECT_EQ(Lines(""), LineList{});
    EXPECT_EQ(Lines("a\nb\n"), (LineList{"a", "b"}));
    EXPECT_EQ(Lines("a\r\nb"), (LineList{"a", "b"}));
    EXPECT_EQ(Lines("a\n\nb\n"), (LineList{"a", "", "b"}));
    EXPECT_EQ(Lines("a\rb\r\r\nc\r"), (LineList{"ab", "c"})); // lone CRs are dropped
    EXPECT_EQ(Lines("\n"), (LineList{""}));
}

TEST(FirmwareLines, CtrlZEndsTheFileOnlyWhereALineBegins) {
    EXPECT_EQ(Lines("a\n\x1A"
                    "b\n"),
              (LineList{"a"}));
    EXPECT_EQ(Lines("\x1A"
                    "a\n"),
              LineList{});
    EXPECT_EQ(Lines("a\x1A"
                    "b\nc\n"),
              (LineList{"a\x1A"
                        "b",
                        "c"}));
}

// Some Windows editors save the file with a UTF-8 byte-order mark; anywhere but at the very
// start it is a stray byte like any other, and the line is refused for it.
TEST(FirmwareLines, AByteOrderMarkIsReadThroughAtTheVeryStartOnly) {
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(Lines(bom + ":00000001FF\r\n"), LineList{":00000001FF"});
    EXPECT_EQ(Lines(bom), LineList{});
    EXPECT_EQ(Lines(bom + bom + ":00000001FF"), LineList{bom + ":00000001FF"});
    EXPECT_EQ(Lines("a\n" + bom + ":00000001FF"), (LineList{"a", bom + ":00000001FF"}));
    EXPECT_EQ(Lines("\xEF\xBB:00000001FF"), LineList{"\xEF\xBB:00000001FF"});
}

TEST(FirmwareFile, ReadOnceWithEveryLineCountedAndTheRecordsUpToTheEnd) {
    TempDir dir;
    std::string longData;
    for (int i = 0; i < 100000; ++i) // a file far larger than one read of the disk
        longData += ":0400100012345678D8\r\n";
    dir.Write("f", longData + ":00000001FF\r\nafter the end\n\nmore\n");
    const FirmwareFile file = FirmwareFile::Load(dir.Path("f"));
    EXPECT_EQ(file.Problem(), std::nullopt);
    EXPECT_EQ(file.Records().size(), 100001u);
    EXPECT_EQ(file.Records().back(), ":00000001FF");
    EXPECT_EQ(file.LineCount(), 100004u);
}

TEST(FirmwareFile, OpeningFailuresCarryTheUsersText) {
    TempDir dir;
    try {
        (void)FirmwareFile::Load(dir.Path("nothing"));
        FAIL();
    } catch (const FirmwareFileError& e) {
        EXPECT_STREQ(e.what(), "Datei nicht gefunden");
    }
    EXPECT_STREQ(FirmwareFileError(13).what(), "Dateizugriff verweigert");
    EXPECT_STREQ(FirmwareFileError(5).what(), "E/A-Fehler 5");
}

// Opening a tty alone raises its DTR and RTS: a firmware name that leads to anything but a file
// is refused unopened. A FIFO shows it: a writer waiting on it would be let through by an open.
TEST(FirmwareFile, AnythingButAFileIsRefusedUnopened) {
    TempDir dir;
    dir.MakeFifo("fw.QV");
    std::atomic<pid_t> writerThread{0};
    std::atomic<bool> opened{false};
    std::thread writer([&] {
        writerThread = pid_t(syscall(SYS_gettid));
        const int fd = open(dir.Path("fw.QV").c_str(), O_WRONLY); // until a reader opens it
        opened = true;
        close(fd);
    });
    // The writer waits in its open before the file is read.
    auto waiting = [&] {
        const pid_t thread = writerThread;
        const std::string call =
            thread ? ReadFile("/proc/self/task/" + std::to_string(thread) + "/syscall") : "";
        return call.rfind(std::to_string(SYS_openat) + " ", 0) == 0;
    };
    for (int tries = 0; tries < 500 && !waiting(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(waiting());

    EXPECT_THROW((void)FirmwareFile::Load(dir.Path("fw.QV")), FirmwareFileError);
    for (int waited = 0; waited < 50 && !opened; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(opened);
    const int reader = open(dir.Path("fw.QV").c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    close(reader);
}

TEST(FirmwareFile, ProgressNeverLeavesZeroToHundred) {
    EXPECT_EQ(ProgressPercent(1, 5), 20);
    EXPECT_EQ(ProgressPercent(2, 3), 66); // rounded down
    EXPECT_EQ(ProgressPercent(5, 5), 100);
    EXPECT_EQ(ProgressPercent(7, 5), 100);
    EXPECT_EQ(ProgressPercent(0, 0), 100);
    // Past 2^31 / 100 lines a 32-bit product turns negative.
    EXPECT_EQ(ProgressPercent(22'000'000, 22'000'001), 99);
    EXPECT_EQ(ProgressPercent(3'000'000'000, 4'000'000'000), 75);
}

} // namespace

namespace {

TEST(MessageText, LineBreaksAndTheFullStopRule) {
    EXPECT_EQ(DisplayText("Fehler in Hex Datei!\n\rLeere Zeile 7 !"),
              "Fehler in Hex Datei!\nLeere Zeile 7 !");
    EXPECT_EQ(DisplayText("a\nb\rc"), "a\nb\rc");
    EXPECT_EQ(ExceptionText("Datei nicht gefunden"), "Datei nicht gefunden.");
    EXPECT_EQ(ExceptionText("E/A-Fehler 21"), "E/A-Fehler 21.");
    EXPECT_EQ(ExceptionText("Schreibfehler!"), "Schreibfehler!");
    EXPECT_EQ(ExceptionText("Ende."), "Ende.");
    EXPECT_EQ(ExceptionText(""), "");
}

} // namespace
