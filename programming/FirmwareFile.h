#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// An input/output error of the firmware file; the text is the one the user sees.
class FirmwareFileError : public std::runtime_error {
public:
    explicit FirmwareFileError(int osError);
    int OsError() const { return osError_; }

private:
    int osError_;
};

// The firmware file, read line by line: a line ends at LF or CR LF, a lone CR is dropped,
// a Ctrl-Z where a line would begin ends the file. Every failure throws FirmwareFileError.
class FirmwareFile {
public:
    explicit FirmwareFile(std::string name); // binds the name; nothing is opened yet
    ~FirmwareFile();
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;

    void Reset(); // opens the file read-only at its start (again)
    bool Eof();   // nothing more to read
    std::string ReadLine();
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

private:
    int Peek(); // next byte or -1 at the end
    void Fill();

    std::string name_;
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
};

// Opens `name` for reading only, letting other programs read it too. On failure returns
// nullptr and sets `error` to the system's error number. Platform-specific.
std::FILE* OpenSharedForReading(const std::string& name, int& error);

// Record types the run acts on; everything else is skipped.
bool IsDataRecord(const std::string& line);
bool IsEndRecord(const std::string& line);

// The message for a line the device must not receive, or nothing when the line may be sent.
// Line numbers count every line of the file from 1.
std::optional<std::string> RecordProblem(const std::string& line, int lineNumber);
