#pragma once

#include "Protocol.h"
#include "SerialPort.h"
#include "WindowServices.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// One log that both fakes append to, so that tests can check the order of everything a
// user or the device would notice.
using EventLog = std::vector<std::string>;

std::string Hex(const std::vector<uint8_t>& bytes);

// A serial port whose device is a function from written bytes to reply bytes. Reads that
// come up short cost simulated time instead of real time.
class FakeSerialPort : public SerialPort {
public:
    explicit FakeSerialPort(EventLog& log) : log_(log) {}

    // The device: given what was written, the bytes it answers.
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> device;
    int failStep = 0;     // 1..5: that step of opening fails
    bool gone = false;    // the adapter has vanished
    double elapsedMs = 0; // simulated time spent waiting in reads
    bool dtr = false, rts = false;
    CommTimeouts timeouts{};
    std::vector<std::vector<uint8_t>> writes;
    int opens = 0, failedOpens = 0, closes = 0, opsWhileClosed = 0;
    std::string openedPath;
    PortError error; // what a failed step reports; its path is the one opened

    bool Open(const std::string& devicePath) override;
    bool GetCommState() override { return Step(2, "GetCommState"); }
    bool SetCommState() override { return Step(3, "SetCommState"); }
    bool GetCommTimeouts(CommTimeouts& t) override;
    bool SetCommTimeouts(const CommTimeouts& t) override;
    bool PurgeComm(uint32_t flags) override;
    bool EscapeCommFunction(LineCode code) override;
    IoResult WriteFile(const uint8_t* data, size_t count) override;
    IoResult ReadFile(uint8_t* buffer, size_t count) override;
    void CloseHandle() override;
    bool IsOpen() const override { return open_; }
    PortError LastError() const override {
        PortError last = error;
        last.devicePath = openedPath;
        return last;
    }

    // Frames written with the write command, and how many sync and end bytes went out.
    std::vector<std::vector<uint8_t>> Frames() const;
    int Count(uint8_t single) const;

private:
    bool Step(int step, const char* name);
    bool Closed();

    EventLog& log_;
    bool open_ = false;
    std::deque<uint8_t> input_;
};

// A firmware file of `dataRecords` data records (the same four bytes each) and the end record.
std::string FirmwareText(int dataRecords);

// A bootloader that answers correctly, switched on after `syncsIgnored` sync bytes.
std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> GoodDevice(int syncsIgnored = 0);

class FakeWindow : public WindowServices {
public:
    explicit FakeWindow(EventLog& log) : log_(log) {}

    std::function<void(int pump)> onPump; // runs inside the message pump
    std::vector<std::string> statuses, messages;
    std::vector<int> progress;
    int pumps = 0, beeps = 0;

    void SetStatus(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text) override;
    void ProcessMessages() override;
    void WaitForPacingTimer() override;
    void Beep() override;

private:
    EventLog& log_;
};
