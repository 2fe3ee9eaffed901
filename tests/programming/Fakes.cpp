#include "Fakes.h"

#include <cstdio>

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ", b);
        text += pair;
    }
    return text;
}

bool FakeSerialPort::Open(const std::string& devicePath) {
    ++opens;
    openedPath = devicePath;
    log_.push_back("open " + devicePath);
    if (failStep == 1)
        return ++failedOpens, false;
    open_ = true;
    dtr = rts = false;
    input_.clear();
    return true;
}

bool FakeSerialPort::Closed() {
    if (!open_)
        ++opsWhileClosed;
    return !open_;
}

bool FakeSerialPort::Step(int step, const char* name) {
    if (Closed())
        return false;
    log_.push_back(name);
    return failStep != step;
}

bool FakeSerialPort::GetCommTimeouts(CommTimeouts& t) {
    if (Closed())
        return false;
    t = timeouts;
    return true;
}

bool FakeSerialPort::SetCommTimeouts(const CommTimeouts& t) {
    if (!Step(4, "SetCommTimeouts"))
        return false;
    timeouts = t;
    log_.back() += " " + std::to_string(t.ReadIntervalTimeout) + "/" +
                   std::to_string(t.ReadTotalTimeoutMultiplier) + "/" +
                   std::to_string(t.ReadTotalTimeoutConstant) + "/" +
                   std::to_string(t.WriteTotalTimeoutMultiplier) + "/" +
                   std::to_string(t.WriteTotalTimeoutConstant);
    return true;
}

bool FakeSerialPort::PurgeComm(uint32_t flags) {
    if (Closed())
        return false;
    input_.clear();
    return failStep != 5 && flags == PurgeAll;
}

bool FakeSerialPort::EscapeCommFunction(LineCode code) {
    if (Closed())
        return false;
    static const char* names[] = {"SETRTS", "CLRRTS", "SETDTR", "CLRDTR"};
    log_.push_back(names[static_cast<int>(code) - 3]);
    if (code == LineCode::SetDtr || code == LineCode::ClearDtr)
        dtr = code == LineCode::SetDtr;
    else
        rts = code == LineCode::SetRts;
    return true;
}

IoResult FakeSerialPort::WriteFile(const uint8_t* data, size_t count) {
    if (Closed() || gone)
        return {0, gone};
    std::vector<uint8_t> bytes(data, data + count);
    writes.push_back(bytes);
    if (device)
        for (uint8_t b : device(bytes))
            input_.push_back(b);
    return {count, false};
}

IoResult FakeSerialPort::ReadFile(uint8_t* buffer, size_t count) {
    if (Closed() || gone)
        return {0, gone};
    size_t n = 0;
    while (n < count && !input_.empty()) {
        buffer[n++] = input_.front();
        input_.pop_front();
    }
    if (n == 0)
        elapsedMs +=
            timeouts.ReadTotalTimeoutMultiplier * count + timeouts.ReadTotalTimeoutConstant;
    else if (n < count)
        elapsedMs += timeouts.ReadIntervalTimeout;
    return {n, false};
}

void FakeSerialPort::CloseHandle() {
    if (!open_)
        return;
    ++closes;
    open_ = false;
    log_.push_back("close");
}

std::vector<std::vector<uint8_t>> FakeSerialPort::Frames() const {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& w : writes)
        if (!w.empty() && w[0] == WriteCommand)
            frames.push_back(w);
    return frames;
}

int FakeSerialPort::Count(uint8_t single) const {
    int n = 0;
    for (const auto& w : writes)
        n += w.size() == 1 && w[0] == single;
    return n;
}

std::string FirmwareText(int dataRecords) {
    std::string text;
    for (int i = 0; i < dataRecords; ++i)
        text += ":0400100012345678D8\n";
    return text + ":00000001FF\n";
}

std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> GoodDevice(int syncsIgnored) {
    auto syncs = std::make_shared<int>(0);
    return [=](const std::vector<uint8_t>& in) -> std::vector<uint8_t> {
        if (in == std::vector<uint8_t>{SyncCommand})
            return ++*syncs > syncsIgnored ? std::vector<uint8_t>{SyncReply}
                                           : std::vector<uint8_t>{};
        if (in == std::vector<uint8_t>{EndCommand})
            return {EndReply};
        if (!in.empty() && in[0] == WriteCommand)
            return {WriteReply[0], WriteReply[1]};
        return {};
    };
}

void FakeWindow::SetStatus(const std::string& text) {
    statuses.push_back(text);
    log_.push_back("status " + text);
}

void FakeWindow::SetProgress(int percent) {
    progress.push_back(percent);
}

void FakeWindow::ShowMessage(const std::string& text) {
    messages.push_back(text);
    log_.push_back("message " + text);
}

void FakeWindow::ProcessMessages() {
    ++pumps;
    if (onPump)
        onPump(pumps);
}

void FakeWindow::WaitForPacingTimer() {
    log_.push_back("pace");
    ProcessMessages();
}

void FakeWindow::Beep() {
    ++beeps;
    log_.push_back("beep");
}
