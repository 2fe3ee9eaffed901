// The firmware file read once, its lines split and every record checked.
#include "FirmwareFile.h"

#include "MessageText.h"
#include "Protocol.h"
#include "Sha256.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr char CtrlZ = 0x1A;
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

std::string RecordType(const std::string& line) {
    return line.size() >= 9 ? line.substr(7, 2) : "";
}

} // namespace

FirmwareFileError::FirmwareFileError(int osError)
    : std::runtime_error(FileErrorText(osError)), osError_(osError) {}

LineReader::LineReader(std::string_view text) : text_(text) {
    if (text_.substr(0, Utf8Bom.size()) == Utf8Bom)
        pos_ = Utf8Bom.size();
}

bool LineReader::Eof() const {
    return pos_ >= text_.size() || text_[pos_] == CtrlZ;
}

std::string LineReader::ReadLine() {
    const size_t end = std::min(text_.find('\n', pos_), text_.size());
    std::string line;
    line.reserve(end - pos_);
    // A CR before the LF belongs to the line end; a lone CR is dropped: no CR is text.
    for (size_t i = pos_; i < end; ++i)
        if (text_[i] != '\r')
            line += text_[i];
    pos_ = end + 1;
    return line;
}

FirmwareFile FirmwareFile::Load(const std::string& name) {
    const Result<UniqueFile, int> opened = OpenSharedForReading(name);
    if (!opened)
        throw FirmwareFileError(opened.Problem());
    std::FILE* const file = opened->get();
    int error = 0;
    std::string text;
    std::vector<char> buffer(64 * 1024);
    bool tooLarge = false;
    for (;;) {
        errno = 0;
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got == 0) {
            error = std::ferror(file) ? (errno ? errno : EIO) : 0;
            break;
        }
        if (text.size() + got > MaxSize) {
            tooLarge = true;
            break;
        }
        text.append(buffer.data(), got);
    }
    if (error)
        throw FirmwareFileError(error);
    if (tooLarge) {
        FirmwareFile refused;
        refused.problem_ = HexFileText::Heading + HexFileText::TooLarge;
        return refused;
    }
    return FromText(text);
}

FirmwareFile FirmwareFile::FromText(std::string_view text) {
    FirmwareFile firmware;
    firmware.sha256_ = Sha256::Hex(text);
    LineReader reader(text);
    bool reachedEndRecord = false;
    bool haveData = false;
    while (!reader.Eof()) {
        std::string line = reader.ReadLine();
        ++firmware.lineCount_;
        if (reachedEndRecord)
            continue; // counted for the progress bar, never sent
        if (auto problem = RecordProblem(line, firmware.lineCount_)) {
            firmware.problem_ = std::move(problem);
            break;
        }
        if (IsDataRecord(line)) {
            haveData = true;
            firmware.dataBytes_ += HexPair(line, 1);
        }
        reachedEndRecord = IsEndRecord(line);
        firmware.records_.push_back(std::move(line));
    }
    if (!firmware.problem_ && !haveData)
        firmware.problem_ = HexFileText::Heading + HexFileText::NoData;
    else if (!firmware.problem_ && !reachedEndRecord) // a download cut off at a line end
        firmware.problem_ = HexFileText::Heading + HexFileText::NoEndRecord;
    if (firmware.problem_) {
        firmware.records_.clear();
        firmware.dataBytes_ = 0;
    }
    return firmware;
}

bool IsDataRecord(const std::string& line) {
    return RecordType(line) == "00";
}
bool IsEndRecord(const std::string& line) {
    return RecordType(line) == "01";
}

std::optional<std::string> RecordProblem(const std::string& line, uint64_t lineNumber) {
    const auto problem = [&](RecordFault fault) {
        return HexFileText::Heading + RecordFaultText(fault, lineNumber);
    };
    if (line.empty())
        return problem(RecordFault::Empty);
    if (line[0] != ':')
        return problem(RecordFault::NoColon);

    size_t length = line.find_last_not_of(" \t") + 1; // trailing blanks are harmless
    bool allHex = true;
    for (size_t i = 1; i < length; ++i)
        allHex = allHex && HexDigit(line[i]) >= 0;
    const size_t count = length >= 3 ? HexPair(line, 1) : 0;
    if (!allHex || length < 11 || length != 11 + 2 * count)
        return problem(RecordFault::Malformed);

    unsigned sum = 0;
    for (size_t i = 1; i < length; i += 2)
        sum += HexPair(line, i);
    if (sum % 256 != 0)
        return problem(RecordFault::Checksum);

    const std::string type = RecordType(line);
    if (type == "00" && count > MaxFrameDataBytes)
        return problem(RecordFault::TooManyDataBytes);
    if (type == "00" && count % 2 != 0)
        return problem(RecordFault::OddDataByteCount);
    // The device's addresses are 16 bits wide: data must not run past FFFF.
    const unsigned address = RecordAddress(line);
    if (type == "00" && address + count > 0x10000)
        return problem(RecordFault::Beyond64K);
    if (type == "02" || type == "04") {
        for (size_t n = 0; n < count; ++n)
            if (HexPair(line, 9 + 2 * n) != 0)
                return problem(RecordFault::Beyond64K);
    }
    return std::nullopt;
}

int ProgressPercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(done * 100 / total); // done < total, and no file has 2^57 lines
}
