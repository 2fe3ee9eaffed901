// The command-line tool's machine-readable lines.
#pragma once

#include "SerialPortList.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The tool's machine-readable lines: --json events, --log entries and --list-ports --json.
// Each is one JSON object on one line, without the line end; texts that are no valid UTF-8
// have the bad bytes replaced rather than failing the line.

std::string StatusEvent(const std::string& port, const std::string& status);
std::string ProgressEvent(const std::string& port, int percent, uint64_t records, uint64_t bytes,
                          uint64_t totalBytes);
std::string MessageEvent(const std::string& port, const std::string& message);
std::string ResultEvent(const std::string& port, const std::string& result, int exitStatus,
                        uint64_t records, uint64_t bytes, double seconds,
                        const std::vector<std::string>& messages);

// What one device run leaves behind, for the log and the summary table.
struct RunReport {
    std::string port;       // as the user named it
    std::string devicePath; // as opened, after any mapping
    std::string result;     // the run's last status text, or its first message
    int exitStatus = 0;
    uint64_t records = 0; // data records the device acknowledged
    uint64_t bytes = 0;   // their data bytes
    double seconds = 0;
    std::vector<std::string> messages;
};

// Where and with what a run log's entries were made.
struct LogContext {
    std::string host;
    std::string firmwareName;
    std::string firmwareSha256;
};

// One entry of the run log; `time` as IsoLocalTime writes it.
std::string LogEntry(const RunReport& run, const LogContext& context, const std::string& time);

// "2025-03-04T10:15:30+01:00": ISO 8601, local time with the zone's offset.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);

// A port of --list-ports with the COMn names the settings file maps to it.
std::string PortEntry(const SerialPortInfo& port, const std::vector<std::string>& comNames);
