#include "FirmwareFile.h"

#include "Protocol.h"

#include <cerrno>

namespace {

constexpr char CtrlZ = 0x1A;

std::string IoErrorText(int error) {
    if (error == ENOENT)
        return "Datei nicht gefunden";
    if (error == EACCES)
        return "Dateizugriff verweigert";
    return "E/A-Fehler " + std::to_string(error);
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string RecordType(const std::string& line) {
    return line.size() >= 9 ? line.substr(7, 2) : "";
}

} // namespace

FirmwareFileError::FirmwareFileError(int osError)
    : std::runtime_error(IoErrorText(osError)), osError_(osError) {}

FirmwareFile::FirmwareFile(std::string name) : name_(std::move(name)) {}

FirmwareFile::~FirmwareFile() {
    Close();
}

void FirmwareFile::Reset() {
    Close();
    int error = 0;
    file_ = OpenSharedForReading(name_, error);
    if (!file_)
        throw FirmwareFileError(error);
    buffer_.resize(64 * 1024);
    pos_ = end_ = 0;
    atEnd_ = false;
}

void FirmwareFile::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    atEnd_ = true;
}

void FirmwareFile::Fill() {
    if (atEnd_ || !file_)
        return;
    errno = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    pos_ = 0;
    if (end_ == 0) {
        if (std::ferror(file_))
            throw FirmwareFileError(errno ? errno : EIO);
        atEnd_ = true;
    }
}

int FirmwareFile::Peek() {
    if (pos_ == end_)
        Fill();
    return pos_ < end_ ? static_cast<unsigned char>(buffer_[pos_]) : -1;
}

bool FirmwareFile::Eof() {
    int next = Peek();
    if (next == CtrlZ)
        atEnd_ = true, pos_ = end_ = 0;
    return next < 0 || next == CtrlZ;
}

std::string FirmwareFile::ReadLine() {
    std::string line;
    for (;;) {
        int c = Peek();
        if (c < 0)
            return line;
        ++pos_;
        if (c == '\n')
            return line;
        if (c == '\r') {
            if (Peek() == '\n') {
                ++pos_;
                return line;
            }
            continue; // a lone CR is not part of the text
        }
        line += static_cast<char>(c);
    }
}

bool IsDataRecord(const std::string& line) {
    return RecordType(line) == "00";
}
bool IsEndRecord(const std::string& line) {
    return RecordType(line) == "01";
}

std::optional<std::string> RecordProblem(const std::string& line, int lineNumber) {
    const std::string prefix = "Fehler in Hex Datei!\n\r";
    const std::string number = std::to_string(lineNumber);
    if (line.empty())
        return prefix + "Leere Zeile " + number + " !";
    if (line[0] != ':')
        return prefix + "Zeile " + number + " muß mit : beginnen!";

    size_t length = line.find_last_not_of(" \t") + 1; // trailing blanks are harmless
    bool allHex = true;
    for (size_t i = 1; i < length; ++i)
        allHex = allHex && IsHex(line[i]);
    const size_t count = length >= 3 ? HexPair(line, 1) : 0;
    if (!allHex || length < 11 || length != 11 + 2 * count)
        return prefix + "Zeile " + number + " ist fehlerhaft!";

    unsigned sum = 0;
    for (size_t i = 1; i < length; i += 2)
        sum += HexPair(line, i);
    if (sum % 256 != 0)
        return prefix + "Zeile " + number + ": Prüfsumme falsch!";

    const std::string type = RecordType(line);
    if (type == "00" && count > MaxFrameDataBytes)
        return prefix + "Zeile " + number + ": mehr als " + std::to_string(MaxFrameDataBytes) +
               " Datenbytes!";
    if (type == "00" && count % 2 != 0)
        return prefix + "Zeile " + number + ": ungerade Anzahl Datenbytes!";
    if (type == "02" || type == "04") {
        for (size_t n = 0; n < count; ++n)
            if (HexPair(line, 9 + 2 * n) != 0)
                return prefix + "Zeile " + number + ": Adresse über 64 KB!";
    }
    return std::nullopt;
}
