// A serial port that traces every call of another.
#pragma once

#include "SerialPort.h"

#include <functional>
#include <string>

// A serial port that tells what happens on another one, call by call: every frame and reply in
// hex, each modem-line change, purge and time-limit change, opening and closing. What a person
// diagnosing a bench asks for first; it changes nothing on the wire.
class TracingSerialPort : public SerialPort {
public:
    // `trace` receives one line of text per call, without a line end, as the call returns.
    using Trace = std::function<void(const std::string& line)>;
    TracingSerialPort(SerialPort& port, Trace trace);

    bool Open(const std::string& devicePath) override;
    bool GetCommState() override;
    bool SetCommState() override;
    bool GetCommTimeouts(CommTimeouts& timeouts) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool PurgeComm(uint32_t flags) override;
    bool EscapeCommFunction(LineCode code) override;
    IoResult WriteFile(const uint8_t* data, size_t count) override;
    IoResult ReadFile(uint8_t* buffer, size_t count) override;
    void CloseHandle() override;
    bool IsOpen() const override { return port_.IsOpen(); }
    PortError LastError() const override { return port_.LastError(); }

private:
    bool Result(const std::string& what, bool ok);
    IoResult Transfer(const char* what, const uint8_t* bytes, size_t count, IoResult result,
                      std::chrono::steady_clock::duration took);

    SerialPort& port_;
    Trace trace_;
};

// Bytes as "E3 00 10 ..."; the trace's and the tests' way of writing them.
std::string HexBytes(const uint8_t* bytes, size_t count);
