// The serial link on Windows: the Win32 communications calls, with the fixed values the
// bootloader needs.
#include "SerialPort.h"
#include "UniqueHandle.h"
#include "WideText.h"

#include <windows.h>

static_assert(Win32Error::FileNotFound == ERROR_FILE_NOT_FOUND &&
              Win32Error::AccessDenied == ERROR_ACCESS_DENIED &&
              Win32Error::InvalidHandle == ERROR_INVALID_HANDLE &&
              Win32Error::BadCommand == ERROR_BAD_COMMAND &&
              Win32Error::GenFailure == ERROR_GEN_FAILURE &&
              Win32Error::DevNotExist == ERROR_DEV_NOT_EXIST &&
              Win32Error::DeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED &&
              Win32Error::DeviceRemoved == ERROR_DEVICE_REMOVED);
static_assert(uint32_t(LineCode::SetRts) == SETRTS && uint32_t(LineCode::ClearRts) == CLRRTS &&
              uint32_t(LineCode::SetDtr) == SETDTR && uint32_t(LineCode::ClearDtr) == CLRDTR);

namespace {

class Win32SerialPort : public SerialPort {
public:
    bool Open(const std::string& devicePath) override {
        CloseHandle();
        lastError_ = PortError{};
        lastError_.devicePath = devicePath;
        handle_.Reset(CreateFileW(Widen(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return handle_.Valid() || Fail();
    }

    bool GetCommState() override {
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof(DCB);
        return ::GetCommState(handle_.Get(), &dcb_) || Fail();
    }

    bool SetCommState() override {
        dcb_.BaudRate = 115200;
        dcb_.ByteSize = 8;
        dcb_.Parity = 0;
        dcb_.StopBits = 0;
        // The flag word becomes exactly 1: binary mode and nothing else.
        dcb_.fBinary = 1;
        dcb_.fParity = 0;
        dcb_.fOutxCtsFlow = 0;
        dcb_.fOutxDsrFlow = 0;
        dcb_.fDtrControl = DTR_CONTROL_DISABLE;
        dcb_.fDsrSensitivity = 0;
        dcb_.fTXContinueOnXoff = 0;
        dcb_.fOutX = 0;
        dcb_.fInX = 0;
        dcb_.fErrorChar = 0;
        dcb_.fNull = 0;
        dcb_.fRtsControl = RTS_CONTROL_DISABLE;
        dcb_.fAbortOnError = 0;
        dcb_.fDummy2 = 0;
        return ::SetCommState(handle_.Get(), &dcb_) || Fail();
    }

    bool GetCommTimeouts(CommTimeouts& timeouts) override {
        COMMTIMEOUTS native{};
        if (!::GetCommTimeouts(handle_.Get(), &native))
            return Fail();
        timeouts = {native.ReadIntervalTimeout, native.ReadTotalTimeoutMultiplier,
                    native.ReadTotalTimeoutConstant, native.WriteTotalTimeoutMultiplier,
                    native.WriteTotalTimeoutConstant};
        return true;
    }

    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        COMMTIMEOUTS native{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                            timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                            timeouts.WriteTotalTimeoutConstant};
        if (!::SetCommTimeouts(handle_.Get(), &native))
            return Fail();
        timeouts_ = timeouts;
        return true;
    }

    bool PurgeComm(uint32_t flags) override { return ::PurgeComm(handle_.Get(), flags) || Fail(); }

    bool EscapeCommFunction(LineCode code) override {
        return ::EscapeCommFunction(handle_.Get(), static_cast<DWORD>(code)) || Fail();
    }

    IoResult WriteFile(const uint8_t* data, size_t count) override {
        IoResult result;
        if (!handle_.Valid())
            return result;
        DWORD written = 0;
        if (!::WriteFile(handle_.Get(), data, static_cast<DWORD>(count), &written, nullptr))
            result.gone = FailedIo();
        result.count = written;
        return result;
    }

    IoResult ReadFile(uint8_t* buffer, size_t count) override {
        IoResult result;
        if (!handle_.Valid())
            return result;
        const auto start = std::chrono::steady_clock::now();
        DWORD read = 0;
        if (!::ReadFile(handle_.Get(), buffer, static_cast<DWORD>(count), &read, nullptr)) {
            result.gone = FailedIo();
            if (!result.gone)
                WaitOutFailedRead(start, timeouts_, count);
        }
        result.count = read;
        return result;
    }

    void CloseHandle() override { handle_.Reset(); }

    bool IsOpen() const override { return handle_.Valid(); }
    PortError LastError() const override { return lastError_; }

private:
    bool Fail() {
        lastError_.osError = static_cast<int>(GetLastError());
        lastError_.reason = SystemErrorText(static_cast<DWORD>(lastError_.osError));
        lastError_.failure = Win32PortFailure(static_cast<uint32_t>(lastError_.osError));
        return false;
    }

    // True when the failed read or write means the port has gone.
    bool FailedIo() {
        Fail();
        return Win32ErrorMeansPortGone(static_cast<uint32_t>(lastError_.osError));
    }

    UniqueHandle handle_;
    DCB dcb_{};
    CommTimeouts timeouts_{};
    PortError lastError_;
};

} // namespace

std::unique_ptr<SerialPort> CreateSerialPort() {
    return std::make_unique<Win32SerialPort>();
}
