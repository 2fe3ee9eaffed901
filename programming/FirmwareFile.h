// The firmware file: its lines, its records' checks and the copy a run sends from.
#pragma once

#include "Result.h"
#include "UniqueResource.h"
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// An input/output error of the firmware file; the text is the one the user sees.
class FirmwareFileError : public std::runtime_error {
public:
    explicit FirmwareFileError(int osError);
    int OsError() const { return osError_; }

private:
    int osError_;
};

// The lines of firmware file text: a line ends at LF or CR LF, a lone CR is dropped, a Ctrl-Z
// where a line would begin ends the file. A UTF-8 byte-order mark at the very start, as some
// Windows editors save it, is no text.
class LineReader {
public:
    explicit LineReader(std::string_view text);

    bool Eof() const; // nothing more to read
    std::string ReadLine();

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// The firmware file, read once and checked whole before the device gets any of it. Runs send
// from this copy, so the device receives exactly the version that was checked, whatever
// happens to the file on disk meanwhile.
class FirmwareFile {
public:
    // Larger files are refused unread: no firmware of the device comes near it.
    static constexpr size_t MaxSize = 16 * 1024 * 1024;

    // Reads the file at `name` whole, for reading only and shared with other readers. Throws
    // FirmwareFileError when it cannot be read.
    static FirmwareFile Load(const std::string& name);
    static FirmwareFile FromText(std::string_view text);

    // Why the device must not receive this file (the first bad line, no data, no end record,
    // too large), or nothing.
    const std::optional<std::string>& Problem() const { return problem_; }
    // The lines to send, from the first up to and including the end record; empty for a
    // refused file.
    const std::vector<std::string>& Records() const { return records_; }
    // Every line of the file, those after the end record included.
    uint64_t LineCount() const { return lineCount_; }
    // The data bytes the records to send carry.
    uint64_t DataBytes() const { return dataBytes_; }
    // SHA-256 of the file's bytes as read, in hexadecimal; empty for a file refused unread.
    const std::string& Sha256() const { return sha256_; }

private:
    FirmwareFile() = default;

    std::optional<std::string> problem_;
    std::vector<std::string> records_;
    uint64_t lineCount_ = 0;
    uint64_t dataBytes_ = 0;
    std::string sha256_;
};

// Opens `name` for reading only, letting other programs read it too; on failure, the system's
// error number. Platform-specific.
Result<UniqueFile, int> OpenSharedForReading(const std::string& name);

// Record types the run acts on; everything else is skipped.
bool IsDataRecord(const std::string& line);
bool IsEndRecord(const std::string& line);

// The message for a line the device must not receive, or nothing when the line may be sent.
// Line numbers count every line of the file from 1.
std::optional<std::string> RecordProblem(const std::string& line, uint64_t lineNumber);

// The progress bar's position after `done` of `total` lines: 0 to 100, rounded down.
int ProgressPercent(uint64_t done, uint64_t total);
