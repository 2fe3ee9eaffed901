// The wire trace: one line per serial call.
#include "TracingSerialPort.h"

#include "MessageText.h"

#include <cstdio>

namespace {

std::string HexNumber(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X", unsigned(value));
    return text;
}

const char* LineName(LineCode code) {
    switch (code) {
    case LineCode::SetDtr:
        return "DTR 1";
    case LineCode::ClearDtr:
        return "DTR 0";
    case LineCode::SetRts:
        return "RTS 1";
    case LineCode::ClearRts:
        return "RTS 0";
    }
    return "?";
}

std::string Failure(const PortError& error) {
    return error.reason.empty() ? TraceText::Failed : TraceText::Failed + ": " + error.reason;
}

} // namespace

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

TracingSerialPort::TracingSerialPort(SerialPort& port, Trace trace)
    : port_(port), trace_(std::move(trace)) {}

bool TracingSerialPort::Result(const std::string& what, bool ok) {
    trace_(what + (ok ? ": ok" : ": " + Failure(port_.LastError())));
    return ok;
}

bool TracingSerialPort::Open(const std::string& devicePath) {
    const bool ok = port_.Open(devicePath);
    return Result("open " + devicePath, ok);
}

bool TracingSerialPort::GetCommState() {
    return Result("get line setting", port_.GetCommState());
}

bool TracingSerialPort::SetCommState() {
    return Result("set line 115200 8N1", port_.SetCommState());
}

bool TracingSerialPort::GetCommTimeouts(CommTimeouts& timeouts) {
    return port_.GetCommTimeouts(timeouts);
}

bool TracingSerialPort::SetCommTimeouts(const CommTimeouts& t) {
    const std::string limits = "time limits read " + std::to_string(t.ReadIntervalTimeout) + "/" +
                               std::to_string(t.ReadTotalTimeoutMultiplier) + "/" +
                               std::to_string(t.ReadTotalTimeoutConstant) + " write " +
                               std::to_string(t.WriteTotalTimeoutMultiplier) + "/" +
                               std::to_string(t.WriteTotalTimeoutConstant) + " ms";
    return Result(limits, port_.SetCommTimeouts(t));
}

bool TracingSerialPort::PurgeComm(uint32_t flags) {
    return Result("purge " + HexNumber(flags), port_.PurgeComm(flags));
}

bool TracingSerialPort::EscapeCommFunction(LineCode code) {
    return Result(LineName(code), port_.EscapeCommFunction(code));
}

IoResult TracingSerialPort::Transfer(const char* what, const uint8_t* bytes, size_t count,
                                     IoResult result, std::chrono::steady_clock::duration took) {
    char head[96];
    std::snprintf(head, sizeof head, "%s %zu/%zu in %.3f ms", what, result.count, count,
                  std::chrono::duration<double, std::milli>(took).count());
    std::string line = head;
    if (result.count > 0)
        line += ": " + HexBytes(bytes, result.count);
    if (result.gone)
        line += TraceText::Gone;
    trace_(line);
    return result;
}

IoResult TracingSerialPort::WriteFile(const uint8_t* data, size_t count) {
    const auto start = std::chrono::steady_clock::now();
    const IoResult result = port_.WriteFile(data, count);
    return Transfer("write", data, count, result, std::chrono::steady_clock::now() - start);
}

IoResult TracingSerialPort::ReadFile(uint8_t* buffer, size_t count) {
    const auto start = std::chrono::steady_clock::now();
    const IoResult result = port_.ReadFile(buffer, count);
    return Transfer("read", buffer, count, result, std::chrono::steady_clock::now() - start);
}

void TracingSerialPort::CloseHandle() {
    const bool wasOpen = port_.IsOpen();
    port_.CloseHandle();
    if (wasOpen)
        trace_("close");
}
