// The firmware file as the programming run reads it: line reader, whole-file check, record
// checks, frame builder.
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

// The lines by the file's line-end rules, independently of the reader: a UTF-8 byte-order mark
// at the very start is skipped, LF ends a line, every CR is dropped (before LF it belongs to the
// line end, alone it is dropped), Ctrl-Z at a line start ends the file.
std::vector<std::string> ExpectedLines(const std::string& text) {
    std::vector<std::string> lines;
    const size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (size_t at = start; at < text.size() && text[at] != CtrlZ;) {
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
        return record.data.size() <= size_t(MaxFrameDataBytes) && record.data.size() % 2 == 0 &&
               record.address + record.data.size() <= 0x10000;
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
        if (OracleHexDigit(line[i]) < 0)
            return std::nullopt;
    static const char digits[] = "0123456789ABCDEF";
    std::string repaired = line;
    const unsigned count = unsigned(end - 11) / 2;
    repaired[1] = digits[count >> 4];
    repaired[2] = digits[count & 15];
    unsigned sum = 0;
    for (size_t i = 1; i + 2 < end; i += 2)
        sum += unsigned(OracleHexDigit(repaired[i]) * 16 + OracleHexDigit(repaired[i + 1]));
    const unsigned checksum = (256 - sum % 256) % 256;
    repaired[end - 2] = digits[checksum >> 4];
    repaired[end - 1] = digits[checksum & 15];
    return repaired;
}

// The file read from disk equals the text; the lines are the expected ones; the file is refused
// exactly when a line up to the end record is, or when it has no data or no end record, and
// otherwise the records to send are the lines up to the end record.
void CheckFile(MemoryFile& file, const std::string& text,
               const std::vector<std::string>& expected) {
    LineReader reader(text);
    for (const std::string& line : expected) {
        REQUIRE(!reader.Eof());
        REQUIRE(reader.ReadLine() == line);
    }
    REQUIRE(reader.Eof());

    file.Store(text);
    const FirmwareFile firmware = FirmwareFile::Load(file.Path());
    std::optional<std::string> problem;
    bool haveData = false;
    bool ended = false;
    size_t lineNumber = 0;
    while (lineNumber < expected.size() && !problem && !ended) {
        const std::string& line = expected[lineNumber++];
        problem = RecordProblem(line, lineNumber);
        haveData = haveData || (!problem && IsDataRecord(line));
        ended = !problem && IsEndRecord(line);
    }
    if (problem) {
        REQUIRE(firmware.Problem() == problem);
    } else {
        REQUIRE(firmware.Problem().has_value() == (!haveData || !ended));
    }
    if (firmware.Problem()) {
        REQUIRE(firmware.Records().empty());
        return;
    }
    REQUIRE(firmware.LineCount() == expected.size());
    REQUIRE(firmware.Records().size() == lineNumber);
    for (size_t i = 0; i < lineNumber; ++i)
        REQUIRE(firmware.Records()[i] == expected[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file("firmware");
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> expected = ExpectedLines(text);
    CheckFile(file, text, expected);
    // The run checks lines only up to its first refusal; the checks themselves see every line.
    for (size_t i = 0; i < expected.size(); ++i) {
        CheckRecord(expected[i], int(i + 1));
        if (const auto repaired = Repaired(expected[i]); repaired && *repaired != expected[i])
            CheckRecord(*repaired, int(i + 1));
    }
    return 0;
}
