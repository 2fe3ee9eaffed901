// The tool's JSON lines: events, log entries and the port list.
#include "Events.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

std::string Line(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Event(const char* event, const std::string& port) {
    return Json{{"event", event}, {"port", port}};
}

// Seconds to the millisecond: finer is noise for a run that takes seconds.
double Rounded(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

std::string StatusEvent(const std::string& port, const std::string& status) {
    Json event = Event("status", port);
    event["status"] = status;
    return Line(event);
}

std::string ProgressEvent(const std::string& port, int percent, uint64_t records, uint64_t bytes,
                          uint64_t totalBytes) {
    Json event = Event("progress", port);
    event["percent"] = percent;
    event["records"] = records;
    event["bytes"] = bytes;
    event["total_bytes"] = totalBytes;
    return Line(event);
}

std::string MessageEvent(const std::string& port, const std::string& message) {
    Json event = Event("message", port);
    event["message"] = message;
    return Line(event);
}

std::string ResultEvent(const std::string& port, const std::string& result, int exitStatus,
                        uint64_t records, uint64_t bytes, double seconds,
                        const std::vector<std::string>& messages) {
    Json event = Event("result", port);
    event["result"] = result;
    event["exit_status"] = exitStatus;
    event["records"] = records;
    event["bytes"] = bytes;
    event["seconds"] = Rounded(seconds);
    if (!messages.empty())
        event["message"] = Joined(messages);
    return Line(event);
}

std::string LogEntry(const RunReport& run, const LogContext& context, const std::string& time) {
    Json entry{{"time", time},
               {"host", context.host},
               {"port", run.port},
               {"device", run.devicePath},
               {"file", context.firmwareName},
               {"sha256", context.firmwareSha256},
               {"records", run.records},
               {"bytes", run.bytes},
               {"seconds", Rounded(run.seconds)},
               {"result", run.result},
               {"exit_status", run.exitStatus}};
    if (!run.messages.empty())
        entry["message"] = Joined(run.messages);
    return Line(entry);
}

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{}, utc{};
    {
        // The C library's calendar functions share one buffer.
        static std::mutex calendar;
        const std::lock_guard<std::mutex> lock(calendar);
        local = *std::localtime(&seconds);
        utc = *std::gmtime(&seconds);
    }
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year)
        days = local.tm_year > utc.tm_year ? 1 : -1;
    const int offset = (days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min;
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, "%c%02d:%02d", offset < 0 ? '-' : '+',
                  std::abs(offset) / 60, std::abs(offset) % 60);
    return text;
}

std::string PortEntry(const SerialPortInfo& port, const std::vector<std::string>& comNames) {
    char id[16] = "";
    if (port.vendorId || port.productId)
        std::snprintf(id, sizeof id, "%04x:%04x", port.vendorId, port.productId);
    Json entry{{"name", port.name},
               {"com", comNames},
               {"description", port.description},
               {"driver", port.driver},
               {"usb_id", id},
               {"manufacturer", port.manufacturer},
               {"product", port.product},
               {"serial_number", port.serialNumber},
               {"stable_path", port.stablePath}};
    return Line(entry);
}
