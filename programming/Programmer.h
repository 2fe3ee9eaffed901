// Programing, the programming run, and what it needs from its caller.
#pragma once

#include "FirmwareFile.h"
#include "SerialPort.h"
#include "WindowServices.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The settings record: the port the user chose, by the name MV2.ini keeps ("COM3", a device
// path). A run opens the path that the front end resolves it to.
struct TSetup {
    std::string Port = "COM1";
};

// How the last run ended, for callers that act on it (the command-line tool's exit status).
enum class RunOutcome {
    None,
    Ok,
    WriteError,     // "Schreibfehler!"
    Stopped,        // "Schreiben abgebrochen!"
    SearchStopped,  // "Suche abgebrochen."
    SearchTimedOut, // "Suche abgebrochen.": the device did not answer within SearchTimeout
    PortFailed,     // could not be opened or set up
    PortLost,       // the adapter vanished
    FileError,      // the firmware file could not be read
};

// The read time limits of the run's two phases; the write limits stay as OpenCom set them.
struct ReadLimits {
    uint32_t interval, multiplier, constant;
};
constexpr ReadLimits SearchReadLimits{0, 1, 100};       // one sync reply: at most 101 ms
constexpr ReadLimits TransferReadLimits{50, 100, 1000}; // as OpenComTimeouts

// The program-wide state of the programming side and the operations on it: one object per
// program (or per test), owned by whoever runs it.
class Programmer {
public:
    Programmer(WindowServices& window, SerialPort& port);
    ~Programmer();

    using Clock = std::chrono::steady_clock;

    bool Busy = false;
    bool StopRequested = false;
    TSetup Setup;
    // How long the search may last; without it, until the device answers or the user stops.
    std::optional<std::chrono::milliseconds> SearchTimeout;
    // The clock the search's time limit is measured on; tests put a simulated one here.
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };

    // One whole run with the firmware file `fileName`, read and checked before the port at
    // `portPath` is opened. Firmware file errors are thrown as FirmwareFileError; nothing is
    // left open.
    void Programing(const std::string& fileName, const std::string& portPath);
    // One whole run with a firmware file read before.
    void Programing(const FirmwareFile& firmware, const std::string& portPath);
    // One command exchange; `line` is read only for WriteCommand.
    bool Communication(uint8_t command, const std::string& line);
    bool OpenCom(const std::string& devicePath);
    void CloseCom();

    // For the window's close handler: lowers DTR and RTS and closes the port; the run still on
    // the stack shows no further message and leaves the port alone.
    void ReleaseForClose();

    RunOutcome LastOutcome() const { return outcome_; }
    // The data records the device has acknowledged in this or the last run, and their data
    // bytes: what it holds of the file.
    uint64_t RecordsSent() const { return recordsSent_; }
    uint64_t BytesSent() const { return bytesSent_; }

private:
    void Message(const std::string& text);
    bool OpenFailed(const std::string& text);
    void Line(LineCode code);
    void SetReadTimeouts(const ReadLimits& limits);
    void WriteFailed(RunOutcome outcome);
    void ResetPulse();
    RunOutcome Search();
    bool SendFile(const FirmwareFile& firmware);
    bool EndTransfer();
    void ClosingPulse();

    WindowServices& window_;
    SerialPort& port_;
    bool closing_ = false;
    bool portGone_ = false;
    RunOutcome outcome_ = RunOutcome::None;
    std::vector<uint8_t> lastReply_;       // of the last exchange
    std::optional<FailedExchange> failed_; // the exchange that ended the transfer
    uint64_t recordsSent_ = 0;
    uint64_t bytesSent_ = 0;
};
