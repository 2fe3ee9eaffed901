// Programing: one whole run, from opening the port to the end command.
#include "Programmer.h"

#include "FirmwareFile.h"
#include "MessageText.h"
#include "Protocol.h"
#include "ScopeExit.h"

Programmer::Programmer(WindowServices& window, SerialPort& port) : window_(window), port_(port) {}

Programmer::~Programmer() {
    CloseCom();
}

void Programmer::Message(const std::string& text) {
    if (!closing_)
        window_.ShowMessage(text);
}

bool Programmer::OpenFailed(const std::string& text) {
    if (!closing_)
        window_.ShowPortError(text, port_.LastError());
    return false;
}

void Programmer::Line(LineCode code) {
    if (!closing_)
        (void)port_.EscapeCommFunction(code);
}

void Programmer::SetReadTimeouts(const ReadLimits& limits) {
    if (closing_)
        return;
    CommTimeouts timeouts;
    (void)port_.GetCommTimeouts(timeouts);
    timeouts.ReadIntervalTimeout = limits.interval;
    timeouts.ReadTotalTimeoutMultiplier = limits.multiplier;
    timeouts.ReadTotalTimeoutConstant = limits.constant;
    (void)port_.SetCommTimeouts(timeouts);
}

bool Programmer::OpenCom(const std::string& devicePath) {
    if (!port_.Open(devicePath))
        return OpenFailed(MessageText::OpenFailed);
    if (!port_.GetCommState())
        return OpenFailed(MessageText::GetStateFailed);
    if (!port_.SetCommState())
        return OpenFailed(MessageText::SetStateFailed);
    if (!port_.SetCommTimeouts(OpenComTimeouts))
        return OpenFailed(MessageText::SetTimeoutsFailed);
    if (!port_.PurgeComm(PurgeAll))
        return OpenFailed(MessageText::PurgeFailed);
    return true;
}

void Programmer::CloseCom() {
    port_.CloseHandle();
}

void Programmer::ReleaseForClose() {
    closing_ = true;
    // The run's own way out is bypassed here: the device must not stay held by DTR or RTS.
    if (port_.IsOpen()) {
        (void)port_.EscapeCommFunction(LineCode::ClearDtr);
        (void)port_.EscapeCommFunction(LineCode::ClearRts);
    }
    CloseCom();
}

bool Programmer::Communication(uint8_t command, const std::string& line) {
    std::vector<uint8_t> frame{command};
    size_t replyLength = 1;
    if (command == WriteCommand) {
        frame = WriteFrame(line);
        replyLength = 2;
    }
    window_.ProcessMessages();
    if (closing_)
        return false;
    (void)port_.PurgeComm(PurgeAll);
    IoResult written = port_.WriteFile(frame.data(), frame.size());
    uint8_t reply[FrameBufferSize] = {};
    IoResult read = port_.ReadFile(reply, replyLength);
    bool accepted = false;
    if (read.count >= 1) {
        if (command == SyncCommand)
            accepted = reply[0] == SyncReply;
        else if (command == WriteCommand)
            accepted = read.count == 2 && reply[0] == WriteReply[0] && reply[1] == WriteReply[1];
        else if (command == EndCommand)
            accepted = reply[0] == EndReply;
    }
    (void)port_.PurgeComm(PurgeAll);
    lastReply_.assign(reply, reply + read.count);
    portGone_ = portGone_ || written.gone || read.gone;
    if (read.count == 0) {
        // An unplugged adapter is no silent device: the owner is to look at the cable.
        Message(portGone_ ? MessageText::PortLost : MessageText::Timeout);
        return false;
    }
    return accepted;
}

// Sends the sync byte until the bootloader answers (RunOutcome::None), the user stops, the
// adapter vanishes or the search's time limit runs out.
RunOutcome Programmer::Search() {
    std::optional<Clock::time_point> deadline;
    if (SearchTimeout) {
        const Clock::time_point now = Now();
        // A limit beyond what the clock can count is no limit.
        const auto room =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
        if (*SearchTimeout < room)
            deadline = now + *SearchTimeout;
    }
    while (!StopRequested) {
        window_.ProcessMessages();
        if (closing_)
            break;
        if (deadline && Now() >= *deadline)
            return RunOutcome::SearchTimedOut;
        (void)port_.PurgeComm(PurgeAll);
        IoResult written = port_.WriteFile(&SyncCommand, 1);
        uint8_t reply = 0;
        IoResult read = port_.ReadFile(&reply, 1);
        if (read.count == 1 && reply == SyncReply)
            return RunOutcome::None;
        if (written.gone || read.gone) {
            portGone_ = true;
            Message(MessageText::PortLost);
            return RunOutcome::PortLost;
        }
    }
    return RunOutcome::SearchStopped;
}

// The sending pass. A stop is honoured after the line read in the pass that sees it.
bool Programmer::SendFile(const FirmwareFile& firmware) {
    bool runOk = true;
    const std::vector<std::string>& records = firmware.Records();
    for (size_t i = 0; i < records.size() && runOk; ++i) {
        if (StopRequested)
            runOk = false;
        window_.SetProgress(ProgressPercent(i + 1, firmware.LineCount()));
        if (!IsDataRecord(records[i]))
            continue;
        if (!Communication(WriteCommand, records[i])) {
            runOk = false;
            const uint16_t address = RecordAddress(records[i]);
            failed_ = FailedExchange{i + 1, address, lastReply_};
        } else {
            ++recordsSent_;
            bytesSent_ += HexPair(records[i], 1);
        }
    }
    return runOk;
}

bool Programmer::EndTransfer() {
    if (Communication(EndCommand, ""))
        return true;
    failed_ = FailedExchange{0, 0, lastReply_};
    return false;
}

void Programmer::ResetPulse() {
    // Both lines for one pacing period, then DTR alone.
    Line(LineCode::SetDtr);
    window_.SetStatus(StatusText::Reset);
    Line(LineCode::SetRts);
    window_.WaitForPacingTimer();
    window_.ProcessMessages();
    Line(LineCode::ClearRts);
}

void Programmer::ClosingPulse() {
    Line(LineCode::ClearDtr);
    Line(LineCode::SetRts);
    window_.WaitForPacingTimer();
    Line(LineCode::ClearRts);
}

void Programmer::WriteFailed(RunOutcome outcome) {
    window_.SetStatus(StatusText::WriteError);
    Message(MessageText::WriteError);
    outcome_ = outcome;
}

void Programmer::Programing(const std::string& fileName, const std::string& portPath) {
    if (Busy)
        return;
    // Read and checked whole before the port is opened: a refused or unreadable file touches
    // nothing, and the device gets exactly the version that was checked.
    const FirmwareFile firmware = [&] {
        try {
            return FirmwareFile::Load(fileName);
        } catch (const FirmwareFileError&) {
            window_.SetProgress(0);
            outcome_ = RunOutcome::FileError;
            throw;
        }
    }();
    Programing(firmware, portPath);
}

void Programmer::Programing(const FirmwareFile& firmware, const std::string& portPath) {
    if (Busy)
        return;
    window_.SetProgress(0);
    Busy = true;
    const ScopeExit notBusy([this] { Busy = false; });
    // Cleared here and nowhere else: a stop from before this run must not end it, and one
    // pressed from now on, during the reset pulse too, must.
    StopRequested = false;
    portGone_ = false;
    outcome_ = RunOutcome::None;
    failed_.reset();
    recordsSent_ = 0;
    bytesSent_ = 0;

    if (firmware.Problem()) {
        Message(*firmware.Problem());
        WriteFailed(RunOutcome::WriteError);
        return;
    }

    const ScopeExit releasePort([this] {
        // The device must not stay held in the search/transfer line state, however the run
        // ends.
        if (port_.IsOpen())
            Line(LineCode::ClearDtr);
        CloseCom();
    });
    if (!OpenCom(portPath)) {
        outcome_ = RunOutcome::PortFailed;
        return;
    }

    ResetPulse();
    SetReadTimeouts(SearchReadLimits);
    window_.SetStatus(StatusText::Searching);
    const RunOutcome searched = Search();
    SetReadTimeouts(TransferReadLimits);
    if (searched != RunOutcome::None || StopRequested) {
        window_.SetStatus(StatusText::SearchStopped);
        outcome_ = searched == RunOutcome::None ? RunOutcome::SearchStopped : searched;
        return;
    }

    window_.SetStatus(StatusText::Writing);
    if (SendFile(firmware) && EndTransfer()) {
        // The device holds the whole file: a stop pressed from here on changes nothing.
        window_.SetProgress(100);
        window_.Beep();
        window_.SetStatus(StatusText::AllOk);
        outcome_ = RunOutcome::Ok;
        ClosingPulse();
    } else if (StopRequested) {
        window_.SetStatus(StatusText::WriteStopped);
        outcome_ = RunOutcome::Stopped;
    } else {
        if (failed_ && !closing_)
            window_.ShowFailedExchange(*failed_);
        WriteFailed(portGone_ ? RunOutcome::PortLost : RunOutcome::WriteError);
    }
}
