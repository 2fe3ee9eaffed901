// The serial port as the programming run uses it, with the Win32 calls' meaning.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Time limits in milliseconds with the meaning of the Win32 COMMTIMEOUTS fields.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// The values OpenCom sets.
constexpr CommTimeouts OpenComTimeouts{50, 100, 1000, 20, 1000};

// The total time limit of a read of `count` bytes: multiplier × count + constant.
std::chrono::milliseconds ReadTotalLimit(const CommTimeouts& timeouts, size_t count);

// For a read that failed while the device is still there: returns once the read's total time
// limit has passed since `start` (a short pause when it has none), so that an error that comes
// back at once can never make a caller's loop spin.
void WaitOutFailedRead(std::chrono::steady_clock::time_point start, const CommTimeouts& timeouts,
                       size_t count);

// Win32 errors of ReadFile and WriteFile that mean the port itself has gone (adapter unplugged,
// driver removed), by value, so that the rule is the same and tested on every platform. Any
// other error is one failed exchange.
namespace Win32Error {
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;
constexpr uint32_t BadCommand = 22;
constexpr uint32_t GenFailure = 31;
constexpr uint32_t DevNotExist = 55;
constexpr uint32_t DeviceNotConnected = 1167;
constexpr uint32_t DeviceRemoved = 1617;
} // namespace Win32Error
bool Win32ErrorMeansPortGone(uint32_t error);

// EscapeCommFunction codes, by value. Named apart from <windows.h>'s macros for them, which
// would otherwise replace these names wherever that header came first.
enum class LineCode : uint32_t { SetRts = 3, ClearRts = 4, SetDtr = 5, ClearDtr = 6 };

// PurgeComm flags.
constexpr uint32_t PurgeTxAbort = 1;
constexpr uint32_t PurgeRxAbort = 2;
constexpr uint32_t PurgeTxClear = 4;
constexpr uint32_t PurgeRxClear = 8;
constexpr uint32_t PurgeAll = PurgeTxAbort | PurgeRxAbort | PurgeTxClear | PurgeRxClear;

struct IoResult {
    size_t count = 0;
    bool gone = false; // the device or adapter has vanished; nothing more will arrive
};

// What the program itself knows about a failure beyond the system's error number. Each kind
// but System has its German reason in PortReason (MessageText.h).
enum class PortFailure {
    System,             // the system's reason says it
    NoPermission,       // POSIX: the user may not open the device
    HeldByOtherProgram, // detail, where known: the program that holds it open, "NAME (PID)"
    NoSuchPort,
};

// The kind of a failure to open or set up a port, by the backend's error number: errno on
// POSIX, GetLastError() on Windows, where access denied means that another program has the
// port. By value, so that both rules are tested on every platform.
PortFailure PosixPortFailure(int error);
PortFailure Win32PortFailure(uint32_t error);

// Why the last failing operation failed, for tools that can show more than the message box.
struct PortError {
    std::string devicePath; // the path opened
    int osError = 0;        // errno or GetLastError()
    std::string reason;     // the system's text for osError
    PortFailure failure = PortFailure::System;
    std::string detail; // what the failure's German reason names
};

// One serial port, opened and closed any number of times. The operations are the Win32
// serial calls the programming run needs; each backend gives them the Win32 meaning.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool Open(const std::string& devicePath) = 0; // CreateFile, exclusive, as given
    virtual bool GetCommState() = 0;                      // remembers the current line setting
    virtual bool SetCommState() = 0;                      // 115200 8N1, binary, no flow control
    virtual bool GetCommTimeouts(CommTimeouts& timeouts) = 0;
    virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool PurgeComm(uint32_t flags) = 0;
    virtual bool EscapeCommFunction(LineCode code) = 0;
    virtual IoResult WriteFile(const uint8_t* data, size_t count) = 0;
    virtual IoResult ReadFile(uint8_t* buffer, size_t count) = 0;
    virtual void CloseHandle() = 0;

    virtual bool IsOpen() const = 0;
    virtual PortError LastError() const = 0;
};

// The platform's backend; CMake decides which one is linked.
std::unique_ptr<SerialPort> CreateSerialPort();

// What Windows puts before a port name to open it as a device, for every port number.
inline const std::string DevicePrefix = "\\\\.\\";

// Whether `port` names a device by its path (the command-line tool takes those beside COMn).
bool IsDevicePath(const std::string& port);

// The highest COM number Windows hands out.
constexpr int MaxComNumber = 256;

// n for "COMn" with n from 1 to MaxComNumber, written as Windows writes it (upper case, no
// leading zero); 0 for any other text.
int ComNumber(const std::string& port);

// Whether the user may choose a port by `port`: "COMn" as ComNumber takes it, or a device path
// without control characters (a line break in a name would split every line that shows it).
bool IsPortName(const std::string& port);
