// The firmware file as the programming run reads it: line reader, record checks, frame builder.
#include "FirmwareFile.h"
#include "HexRecord.h"
#include "MemoryFile.h"
#include "Protocol.h"
#include "Require.h"

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char CtrlZ = 0x1A;
constexpr size_t ReaderBuffer = 64 * 1024; // the reader's block size

// The lines by the file's line-end rules, independently of the reader: LF ends a line, every CR
// is dropped (before LF it belongs to the line end, alone it is dropped), Ctrl-Z at a line start
// ends the file.
std::vector<std::string> ExpectedLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size() && text[at] != CtrlZ;) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line;
        for (size_t i = at; i < end; ++i)
            if (text[i] != '\r')
                line += text[i];
        lines.push_back(std::move(line));
        at = end + 1;
    }
    return lines;
}

// What the device can take: data in whole words that fit its buffer, no address above 64 KB.
bool Sendable(const HexRecord& record) {
    if (record.type == 0)
        return record.data.size() <= size_t(MaxFrameDataBytes) && record.data.size() % 2 == 0;
    if (record.type == 2 || record.type == 4)
        for (uint8_t byte : record.data)
            if (byte != 0)
                return false;
    return true;
}

// A record the checks let through must be one the device can take, a refused one must not be, and
// the frame must carry exactly the record's data.
void CheckRecord(const std::string& line, int number) {
    const auto problem = RecordProblem(line, number);
    const auto record = DecodeRecord(line);
    const bool sendable = record && Sendable(*record);
    if (problem) {
        REQUIRE(!sendable);
        const std::string where = "Zeile " + std::to_string(number);
        REQUIRE(problem->find(where + " ") != std::string::npos ||
                problem->find(where + ":") != std::string::npos);
        return;
    }
    REQUIRE(sendable);
    REQUIRE(IsDataRecord(line) == (record->type == 0));
    REQUIRE(IsEndRecord(line) == (record->type == 1));
    if (!IsDataRecord(line))
        return;

    const std::vector<uint8_t> frame = WriteFrame(line);
    const std::vector<uint8_t>& data = record->data;
    REQUIRE(frame.size() == data.size() + 5);
    REQUIRE(frame.size() <= FrameBufferSize);
    REQUIRE(frame[0] == WriteCommand);
    REQUIRE(frame[1] == record->address >> 8 && frame[2] == (record->address & 0xFF));
    REQUIRE(frame[3] == data.size());
    uint8_t sum = 0;
    for (size_t i = 5; i < frame.size(); ++i)
        sum = uint8_t(sum + frame[i]);
    REQUIRE(frame[4] == sum);
    for (size_t k = 0; k + 1 < data.size(); k += 2)
        REQUIRE(frame[5 + k] == data[k + 1] && frame[6 + k] == data[k]);
}

// The line with its byte count and checksum made to fit, when it has the shape of a record, so
// that mutated records reach the checks beyond those two.
std::optional<std::string> Repaired(const std::string& line) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    if (end < 11 || line[0] != ':' || end % 2 == 0 || end > 11 + 2 * 255)
        return std::nullopt;
    for (size_t i = 1; i < end; ++i)
        if (HexDigit(line[i]) < 0)
            return std::nullopt;
    static const char digits[] = "0123456789ABCDEF";
    std::string repaired = line;
    const unsigned count = unsigned(end - 11) / 2;
    repaired[1] = digits[count >> 4];
    repaired[2] = digits[count & 15];
    unsigned sum = 0;
    for (size_t i = 1; i + 2 < end; i += 2)
        sum += unsigned(HexDigit(repaired[i]) * 16 + HexDigit(repaired[i + 1]));
    const unsigned checksum = (256 - sum % 256) % 256;
    repaired[end - 2] = digits[checksum >> 4];
    repaired[end - 1] = digits[checksum & 15];
    return repaired;
}

// Both passes of a run read the expected lines; the sending pass is left out where only the
// reader's block handling is of interest, as it costs as much again.
void CheckReading(MemoryFile& file, const std::string& text,
                  const std::vector<std::string>& expected, bool sendingPass) {
    file.Store(text);
    FirmwareFile firmware(file.Path());

    // Counting pass: every line counted.
    firmware.Reset();
    size_t lineCount = 0;
    while (!firmware.Eof()) {
        const std::string line = firmware.ReadLine();
        REQUIRE(lineCount < expected.size());
        REQUIRE(line == expected[lineCount]);
        ++lineCount;
    }
    REQUIRE(lineCount == expected.size());
    if (!sendingPass)
        return;

    // Sending pass on the file opened again: the same lines up to the end record or a refusal.
    firmware.Reset();
    size_t lineNumber = 0;
    bool goOn = true;
    while (goOn) {
        const bool eof = firmware.Eof();
        REQUIRE(firmware.Eof() == eof);
        if (eof)
            break;
        const std::string line = firmware.ReadLine();
        REQUIRE(lineNumber < lineCount);
        REQUIRE(line == expected[lineNumber]);
        ++lineNumber;
        goOn = !RecordProblem(line, int(lineNumber)) && !IsEndRecord(line);
    }
    REQUIRE(goOn ? lineNumber == lineCount : lineNumber <= lineCount);
    firmware.Close();
}

uint32_t Hash(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (char c : text)
        hash = (hash ^ uint8_t(c)) * 16777619u;
    return hash;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file("firmware");
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> expected = ExpectedLines(text);
    CheckReading(file, text, expected, true);
    // The run checks lines only up to its first refusal; the checks themselves see every line.
    for (size_t i = 0; i < expected.size(); ++i) {
        CheckRecord(expected[i], int(i + 1));
        if (const auto repaired = Repaired(expected[i]); repaired && *repaired != expected[i])
            CheckRecord(*repaired, int(i + 1));
    }

    // Inputs are far smaller than the reader's block, so for one in 64 a harmless first record
    // padded with blanks moves a line end, a Ctrl-Z or the file's end onto a block boundary.
    const uint32_t hash = Hash(text);
    if (hash % 64 != 0 || size + 64 > ReaderBuffer)
        return 0;
    std::vector<size_t> splits;
    for (size_t i = 0; i <= size; ++i)
        if (i == size || text[i] == '\n' || text[i] == '\r' || text[i] == CtrlZ)
            splits.push_back(i);
    const size_t split = splits[(hash / 64) % splits.size()];
    std::string padding = ":00000003FD";
    padding.resize(ReaderBuffer - split - 1, ' ');
    std::vector<std::string> shifted{padding};
    shifted.insert(shifted.end(), expected.begin(), expected.end());
    CheckReading(file, padding + "\n" + text, shifted, false);
    return 0;
}
