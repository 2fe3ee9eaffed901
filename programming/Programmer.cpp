#include "Programmer.h"

#include "FirmwareFile.h"
#include "Protocol.h"

#include <algorithm>

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

void Programmer::SetReadTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant) {
    if (closing_)
        return;
    CommTimeouts timeouts;
    (void)port_.GetCommTimeouts(timeouts);
    timeouts.ReadIntervalTimeout = interval;
    timeouts.ReadTotalTimeoutMultiplier = multiplier;
    timeouts.ReadTotalTimeoutConstant = constant;
    (void)port_.SetCommTimeouts(timeouts);
}

bool Programmer::OpenCom(const std::string& devicePath) {
    if (!port_.Open(devicePath))
        return OpenFailed("Schnittstelle konnte nicht geöffnet werden!");
    if (!port_.GetCommState())
        return OpenFailed("Schnittstellenparameter konnten nicht gelesen werden!");
    if (!port_.SetCommState())
        return OpenFailed("Schnittstellenparameter konnten nicht gesetzt werden!");
    if (!port_.SetCommTimeouts(OpenComTimeouts))
        return OpenFailed("Kommunikations Timeout konnte nicht gesetzt werden!");
    if (!port_.PurgeComm(PurgeAll))
        return OpenFailed("Puffer konnte nicht gelöscht werden!");
    return true;
}

void Programmer::CloseCom() {
    port_.CloseHandle();
}

void Programmer::ReleaseForClose() {
    closing_ = true;
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
    portGone_ = portGone_ || written.gone || read.gone;
    if (read.count == 0) {
        Message("Verbindung Timeout!");
        return false;
    }
    return accepted;
}

// Sends the sync byte until the bootloader answers, the user stops or the adapter vanishes.
bool Programmer::Search() {
    bool found = false;
    while (!found && !StopRequested) {
        window_.ProcessMessages();
        if (closing_)
            break;
        (void)port_.PurgeComm(PurgeAll);
        IoResult written = port_.WriteFile(&SyncCommand, 1);
        uint8_t reply = 0;
        IoResult read = port_.ReadFile(&reply, 1);
        found = read.count == 1 && reply == SyncReply;
        if (!found && (written.gone || read.gone)) {
            portGone_ = true;
            Message("Verbindung zur Schnittstelle unterbrochen!");
            break;
        }
    }
    return found;
}

// The counting pass: counts every line and refuses the file at its first line up to the end
// record that the device must not receive.
bool Programmer::CheckFile(const std::string& fileName, int& lineCount) {
    FirmwareFile file(fileName);
    file.Reset();
    lineCount = 0;
    bool checking = true;
    while (!file.Eof()) {
        std::string line = file.ReadLine();
        ++lineCount;
        if (!checking)
            continue;
        if (auto problem = RecordProblem(line, lineCount)) {
            Message(*problem);
            return false;
        }
        checking = !IsEndRecord(line);
    }
    return true;
}

// The sending pass. A stop is honoured after the line read in the pass that sees it.
bool Programmer::SendFile(const std::string& fileName, int lineCount) {
    FirmwareFile file(fileName);
    file.Reset();
    bool runOk = true;
    bool reachedEndRecord = false;
    int lineNumber = 0;
    while (!file.Eof() && runOk && !reachedEndRecord) {
        if (StopRequested)
            runOk = false;
        std::string line = file.ReadLine();
        ++lineNumber;
        window_.SetProgress(lineCount > 0 ? std::min(100, lineNumber * 100 / lineCount) : 100);
        // Checked again: the file may have changed since the counting pass.
        if (auto problem = RecordProblem(line, lineNumber)) {
            runOk = false;
            Message(*problem);
        } else if (IsDataRecord(line)) {
            if (!Communication(WriteCommand, line))
                runOk = false;
        } else if (IsEndRecord(line)) {
            reachedEndRecord = true;
        }
    }
    return runOk;
}

void Programmer::Finish(bool runOk) {
    if (StopRequested) {
        window_.SetStatus("Schreiben abgebrochen!");
        outcome_ = RunOutcome::Stopped;
    } else if (!runOk) {
        window_.SetStatus("Schreibfehler!");
        Message("Schreibfehler!");
        outcome_ = portGone_ ? RunOutcome::PortLost : RunOutcome::WriteError;
    } else {
        outcome_ = RunOutcome::Ok;
    }
    Line(LineCode::CLRDTR);
}

void Programmer::Programing(const std::string& fileName) {
    if (Busy)
        return;
    window_.SetProgress(0);
    Busy = true;
    portGone_ = false;
    outcome_ = RunOutcome::None;

    if (!OpenCom(DevicePath(Setup.Port))) {
        outcome_ = RunOutcome::PortFailed;
    } else {
        // Reset pulse: both lines for one pacing period, then DTR alone.
        Line(LineCode::SETDTR);
        window_.SetStatus("Reset");
        Line(LineCode::SETRTS);
        window_.WaitForPacingTimer();
        window_.ProcessMessages();
        Line(LineCode::CLRRTS);

        SetReadTimeouts(0, 1, 100);
        window_.SetStatus("Suche nach Morvik 2.");
        StopRequested = false; // a stop during the reset pulse is forgotten
        bool found = Search();
        SetReadTimeouts(50, 100, 1000);

        if (!found || StopRequested) {
            window_.SetStatus("Suche abgebrochen.");
            outcome_ = portGone_ ? RunOutcome::PortLost : RunOutcome::SearchStopped;
        } else {
            try {
                window_.SetStatus("Schreibe Daten, bitte warten!");
                int lineCount = 0;
                bool runOk = CheckFile(fileName, lineCount) && SendFile(fileName, lineCount);
                if (runOk) {
                    if (Communication(EndCommand, "")) {
                        window_.SetProgress(100);
                        window_.Beep();
                        window_.SetStatus("Alles OK !");
                        Line(LineCode::CLRDTR);
                        Line(LineCode::SETRTS);
                        window_.WaitForPacingTimer();
                        Line(LineCode::CLRRTS);
                    } else {
                        runOk = false;
                    }
                }
                Finish(runOk);
            } catch (...) {
                // The device must not stay held in the search/transfer line state.
                Line(LineCode::CLRDTR);
                CloseCom();
                Busy = false;
                outcome_ = RunOutcome::FileError;
                throw;
            }
        }
    }
    CloseCom();
    Busy = false;
}
