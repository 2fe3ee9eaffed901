// The programming run over a fake port and a fake window: what the user sees and what
// the device receives, in order.
#include "Programmer.h"
#include "Fakes.h"
#include "FirmwareFile.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// The path a front end resolved the port to; the run opens it as it is.
const std::string portPath = "\\\\.\\COM3";

const std::string goodFile = ":0400100012345678D8\r\n"
                             ":020000040000FA\r\n"
                             ":04001400AABBCCDDDA\r\n"
                             ":00000001FF\r\n";

class ProgrammerTest : public ::testing::Test {
protected:
    ProgrammerTest() : port(log), window(log), run(window, port) { port.device = GoodDevice(); }

    void Write(const std::string& content) { dir.Write("fw.hex", content); }
    void Program() { run.Programing(dir.Path("fw.hex"), portPath); }

    // The log from the first entry equal to `from` on, only entries starting with one of
    // `kinds`.
    std::vector<std::string> Events(std::initializer_list<const char*> kinds) const {
        std::vector<std::string> out;
        for (const auto& e : log)
            for (const char* k : kinds)
                if (e.rfind(k, 0) == 0)
                    out.push_back(e);
        return out;
    }

    // However the run ended: the device released (DTR down), the port closed, a new run
    // possible.
    void ExpectCleanEnd() {
        EXPECT_FALSE(port.dtr);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.closes, port.opens - port.failedOpens);
        EXPECT_FALSE(run.Busy);
    }

    TempDir dir;
    EventLog log;
    FakeSerialPort port;
    FakeWindow window;
    Programmer run;
};

TEST_F(ProgrammerTest, SuccessfulRunSendsEveryDataRecordAndEndsWithTheEndCommand) {
    Write(goodFile + "trailing text after the end record\r\n");
    Program();

    EXPECT_EQ(port.openedPath, portPath);
    EXPECT_EQ(window.statuses,
              (std::vector<std::string>{"Reset", "Suche nach Morvik 2.",
                                        "Schreibe Daten, bitte warten!", "Alles OK !"}));
    EXPECT_TRUE(window.messages.empty());
    auto frames = port.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Hex(frames[0]), "E3 00 10 04 14 34 12 78 56");
    EXPECT_EQ(Hex(frames[1]), "E3 00 14 04 0E BB AA DD CC");
    EXPECT_EQ(port.Count(EndCommand), 1);
    EXPECT_EQ(Hex(port.writes.back()), "ED");
    // Five lines counted; the end record is line 4, so the bar waits for the end command.
    EXPECT_EQ(window.progress, (std::vector<int>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(run.LastOutcome(), RunOutcome::Ok);
    EXPECT_EQ(run.RecordsSent(), 2u);
    EXPECT_EQ(run.BytesSent(), 8u);
    ExpectCleanEnd();
}

TEST_F(ProgrammerTest, ModemLinesAndTimeLimitsFollowTheRunsPhases) {
    Write(goodFile);
    Program();
    EXPECT_EQ(Events({"open", "SetCommTimeouts", "SET", "CLR", "pace", "status", "close", "beep"}),
              (std::vector<std::string>{
                  "open " + portPath, "SetCommTimeouts 50/100/1000/20/1000", "SETDTR",
                  "status Reset", "SETRTS", "pace", "CLRRTS", "SetCommTimeouts 0/1/100/20/1000",
                  "status Suche nach Morvik 2.", "SetCommTimeouts 50/100/1000/20/1000",
                  "status Schreibe Daten, bitte warten!", "beep", "status Alles OK !", "CLRDTR",
                  "SETRTS", "pace", "CLRRTS", "CLRDTR", "close"}));
}

TEST_F(ProgrammerTest, SearchGoesOnUntilTheDeviceIsSwitchedOn) {
    port.device = GoodDevice(25);
    Write(goodFile);
    Program();
    EXPECT_EQ(port.Count(SyncCommand), 26);
    EXPECT_NEAR(port.elapsedMs, 25 * 101, 1); // each silent attempt waits 101 ms
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, StopDuringTheSearchEndsIt) {
    port.device = GoodDevice(1000);
    window.onPump = [&](int pump) { run.StopRequested = pump == 10 || run.StopRequested; };
    Write(goodFile);
    Program();
    EXPECT_EQ(window.statuses.back(), "Suche abgebrochen.");
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(port.Frames().size(), 0u);
    EXPECT_EQ(run.LastOutcome(), RunOutcome::SearchStopped);
    ExpectCleanEnd();
}

// On a simulated clock: the silent device's read time is all the time that passes.
TEST_F(ProgrammerTest, SearchTimeLimitEndsTheSearchOnItsOwn) {
    const auto start = Programmer::Clock::now();
    run.Now = [&] {
        return start + std::chrono::microseconds(static_cast<long long>(port.elapsedMs * 1000));
    };
    Write(goodFile);
    port.device = GoodDevice(1000000);
    run.SearchTimeout = std::chrono::seconds(3);
    Program();
    EXPECT_EQ(window.statuses.back(), "Suche abgebrochen.");
    EXPECT_EQ(run.LastOutcome(), RunOutcome::SearchTimedOut);
    EXPECT_EQ(port.Count(SyncCommand), 30); // 101 ms each
    EXPECT_TRUE(window.messages.empty());
    ExpectCleanEnd();

    // A limit beyond what the clock counts is no limit: the device that answers late is found.
    port.device = GoodDevice(100);
    run.SearchTimeout = std::chrono::milliseconds::max();
    Program();
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, StopsCountFromTheStartOfTheRunOnTheResetPulseIncluded) {
    Write(goodFile);
    // Esc or a port change before the click does not stop the run.
    run.StopRequested = true;
    Program();
    EXPECT_EQ(window.statuses.back(), "Alles OK !");

    // Pressed during the reset pulse: the search never starts.
    port.writes.clear();
    window.onPump = [&](int) {
        if (window.statuses.back() == "Reset")
            run.StopRequested = true;
    };
    Program();
    EXPECT_EQ(window.statuses.back(), "Suche abgebrochen.");
    EXPECT_EQ(port.Count(SyncCommand), 0);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(run.LastOutcome(), RunOutcome::SearchStopped);
    ExpectCleanEnd();
}

TEST_F(ProgrammerTest, StopDuringTheSendingPassLetsAtMostTwoFramesOut) {
    Write(FirmwareText(10));
    size_t framesAtStop = 0;
    window.onPump = [&](int) {
        if (port.Frames().size() == 3 && !run.StopRequested) {
            run.StopRequested = true;
            framesAtStop = port.Frames().size();
        }
    };
    Program();
    // The exchange whose pump saw the press still sends; so does the next line's.
    EXPECT_EQ(port.Frames().size(), framesAtStop + 2);
    EXPECT_EQ(port.Count(EndCommand), 0);
    EXPECT_EQ(window.statuses.back(), "Schreiben abgebrochen!");
    EXPECT_TRUE(window.messages.empty());
    EXPECT_LT(window.progress.back(), 100);
    EXPECT_EQ(run.LastOutcome(), RunOutcome::Stopped);
    ExpectCleanEnd();
}

TEST_F(ProgrammerTest, StopAfterTheLastFrameLeavesAFullyWrittenDeviceAllOk) {
    Write(goodFile);
    // During the end command's exchange, and during the closing pulse.
    for (const char* moment : {"end", "pulse"}) {
        SCOPED_TRACE(moment);
        port.writes.clear();
        window.statuses.clear();
        window.onPump = [&](int) {
            const bool end = port.Frames().size() == 2 && port.Count(EndCommand) == 0;
            const bool pulse = !window.statuses.empty() && window.statuses.back() == "Alles OK !";
            if (std::string(moment) == "end" ? end : pulse)
                run.StopRequested = true;
        };
        Program();
        EXPECT_EQ(port.Count(EndCommand), 1);
        EXPECT_EQ(window.statuses.back(), "Alles OK !");
        EXPECT_EQ(run.LastOutcome(), RunOutcome::Ok);
        ExpectCleanEnd();
    }
}

TEST_F(ProgrammerTest, ClickDuringARunChangesNothing) {
    Write(goodFile);
    window.onPump = [&](int) { run.Programing(dir.Path("fw.hex"), portPath); };
    Program();
    EXPECT_EQ(port.opens, 1);
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, TheDeviceGetsTheFileAsItWasWhenTheRunStarted) {
    Write(FirmwareText(40));
    window.onPump = [&](int) {
        if (port.Frames().size() == 10)
            Write(":0400100012345678D8\n:00000001FF\n"); // cut short on disk meanwhile
        if (port.Frames().size() == 20)
            std::remove(dir.Path("fw.hex").c_str());
    };
    Program();
    EXPECT_EQ(port.Frames().size(), 40u);
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, DeviceFailuresEndWithAWriteError) {
    struct Case {
        std::vector<uint8_t> frameReply, endReply;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {{}, {EndReply}, {"Verbindung Timeout!", "Schreibfehler!"}},
        {{0xE4, 0xE7}, {EndReply}, {"Schreibfehler!"}},
        {{0xE7}, {EndReply}, {"Schreibfehler!"}}, // one byte, then silence: no timeout message
        {{0xE7, 0xE4}, {0x00}, {"Schreibfehler!"}},
        {{0xE7, 0xE4}, {}, {"Verbindung Timeout!", "Schreibfehler!"}},
    };
    for (const auto& c : cases) {
        window.messages.clear();
        port.writes.clear();
        port.device = [&](const std::vector<uint8_t>& in) -> std::vector<uint8_t> {
            if (in[0] == SyncCommand)
                return {SyncReply};
            return in[0] == WriteCommand ? c.frameReply : c.endReply;
        };
        Write(goodFile);
        Program();
        EXPECT_EQ(window.messages, c.messages);
        EXPECT_EQ(window.statuses.back(), "Schreibfehler!");
        EXPECT_EQ(window.beeps, 0);
        EXPECT_EQ(run.LastOutcome(), RunOutcome::WriteError);
        // What the device acknowledged, for the run log: a refused first frame leaves nothing.
        const bool framesTaken = c.frameReply == std::vector<uint8_t>{0xE7, 0xE4};
        EXPECT_EQ(run.RecordsSent(), framesTaken ? 2u : 0u);
        EXPECT_EQ(run.BytesSent(), framesTaken ? 8u : 0u);
        // A failed frame ends the pass: no further frame, no end command.
        if (!framesTaken) {
            EXPECT_EQ(port.Frames().size(), 1u);
            EXPECT_EQ(port.Count(EndCommand), 0);
        }
        ExpectCleanEnd();
    }
}

TEST_F(ProgrammerTest, EachOpenFailureShowsItsMessageAndReleasesThePort) {
    const std::vector<std::string> messages = {
        "Schnittstelle konnte nicht geöffnet werden!",
        "Schnittstellenparameter konnten nicht gelesen werden!",
        "Schnittstellenparameter konnten nicht gesetzt werden!",
        "Kommunikations Timeout konnte nicht gesetzt werden!",
        "Puffer konnte nicht gelöscht werden!"};
    Write(goodFile);
    for (int step = 1; step <= 5; ++step) {
        port.failStep = step;
        window.messages.clear();
        window.statuses.clear();
        Program();
        EXPECT_EQ(window.messages, std::vector<std::string>{messages[step - 1]});
        EXPECT_TRUE(window.statuses.empty());
        EXPECT_EQ(run.LastOutcome(), RunOutcome::PortFailed);
        ExpectCleanEnd();
    }
}

TEST_F(ProgrammerTest, BadFilesAreRefusedBeforeThePortIsOpened) {
    const std::string line1 = ":0400100012345678D8\n";
    const std::string end = ":00000001FF\n";
    const std::string h = "Fehler in Hex Datei!\n\r";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {line1 + line1 + line1 + line1 + line1 + line1 + "\n" + line1, h + "Leere Zeile 7 !"},
        {line1 + line1 + "X0400100012345678D8\n", h + "Zeile 3 muß mit : beginnen!"},
        {line1 + ":04001000123456G8D8\n", h + "Zeile 2 ist fehlerhaft!"},
        {":0400100012345678\n", h + "Zeile 1 ist fehlerhaft!"},
        {":04001000\n", h + "Zeile 1 ist fehlerhaft!"},
        {":0400100012345678D9\n", h + "Zeile 1: Prüfsumme falsch!"},
        {":26000000" + std::string(76, '0') + "DA\n", h + "Zeile 1: mehr als 36 Datenbytes!"},
        {":0300100012345651\n", h + "Zeile 1: ungerade Anzahl Datenbytes!"},
        {":020000040001F9\n" + line1, h + "Zeile 1: Adresse über 64 KB!"},
        {":020000021000EC\n" + line1, h + "Zeile 1: Adresse über 64 KB!"},
        // The last bad line is far down: nothing before it may go out either.
        {line1 + line1 + line1 + ":00000001FE\n", h + "Zeile 4: Prüfsumme falsch!"},
        // Data running past FFFF.
        {":04FFFE0012345678EB\n" + end, h + "Zeile 1: Adresse über 64 KB!"},
        // Nothing to write, or a download cut off at a line end.
        {"", h + "Keine Daten gefunden!"},
        {"\x1A" + line1 + end, h + "Keine Daten gefunden!"},
        {":020000040000FA\n" + end + line1, h + "Keine Daten gefunden!"},
        {line1 + line1, h + "Endezeile fehlt!"},
        {line1 + "\x1A" + end, h + "Endezeile fehlt!"},
        {line1 + std::string(FirmwareFile::MaxSize, ' ') + "\n" + end, h + "Datei zu groß!"},
    };
    for (const auto& [content, message] : cases) {
        window.messages.clear();
        window.statuses.clear();
        Write(content);
        Program();
        EXPECT_EQ(window.messages, (std::vector<std::string>{message, "Schreibfehler!"}));
        EXPECT_EQ(window.statuses, std::vector<std::string>{"Schreibfehler!"});
        EXPECT_EQ(port.opens, 0) << message;
        EXPECT_EQ(run.LastOutcome(), RunOutcome::WriteError);
        EXPECT_FALSE(run.Busy);
    }
    // Right up to FFFF is fine.
    Write(":04FFFC0012345678ED\n" + end);
    Program();
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, HarmlessRecordsAndLinesAfterTheEndRecordAreAccepted) {
    Write(":0400100012345678D8  \t\n" // trailing blanks
          ":020000040000FA\n"         // upper 16 address bits zero
          ":0400000305000000F4\n"     // start segment address
          ":04000005000000CD2A\n"     // start linear address
          ":00000001FF\n"
          "garbage after the end\n\n");
    Program();
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(port.Frames().size(), 1u);
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, FileErrorsAreRaisedBeforeThePortIsOpened) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.hex", "Datei nicht gefunden"},
        {"directory.hex", "E/A-Fehler 21"},
        {"fifo.hex", "E/A-Fehler 29"}, // no writer: must not hang
    };
    dir.MakeDirectory("directory.hex");
    dir.MakeFifo("fifo.hex");
    for (const auto& [name, text] : cases) {
        try {
            run.Programing(dir.Path(name), portPath);
            ADD_FAILURE() << name << " did not raise";
        } catch (const FirmwareFileError& error) {
            EXPECT_EQ(std::string(error.what()), text);
        }
        EXPECT_EQ(port.opens, 0);
        EXPECT_EQ(run.LastOutcome(), RunOutcome::FileError);
        EXPECT_FALSE(run.Busy);
    }
    // The next click starts a fresh run.
    Write(goodFile);
    Program();
    EXPECT_EQ(window.statuses.back(), "Alles OK !");
}

TEST_F(ProgrammerTest, AdapterVanishingEndsTheSearchOrFailsTheTransfer) {
    Write(goodFile);
    port.device = GoodDevice(1000);
    window.onPump = [&](int pump) { port.gone = port.gone || pump == 5; };
    Program();
    EXPECT_EQ(window.messages,
              std::vector<std::string>{"Verbindung zur Schnittstelle unterbrochen!"});
    EXPECT_EQ(window.statuses.back(), "Suche abgebrochen.");
    EXPECT_EQ(run.LastOutcome(), RunOutcome::PortLost);
    ExpectCleanEnd();

    port.gone = false;
    port.device = GoodDevice();
    window.messages.clear();
    window.onPump = [&](int) { port.gone = port.gone || !port.Frames().empty(); };
    Write(goodFile);
    Program();
    EXPECT_EQ(
        window.messages,
        (std::vector<std::string>{"Verbindung zur Schnittstelle unterbrochen!", "Schreibfehler!"}));
    EXPECT_EQ(run.LastOutcome(), RunOutcome::PortLost);
    ExpectCleanEnd();
}

// The window closed during the reset pulse, the transfer or the closing pulse: the device is let
// go with both lines low and hears nothing more.
TEST_F(ProgrammerTest, ClosingTheWindowDuringARunSilencesItAndLowersTheLines) {
    const struct {
        const char* moment;
        std::function<bool()> now;
    } cases[] = {
        {"reset pulse", [&] { return port.dtr && port.rts; }},
        {"transfer", [&] { return port.Frames().size() == 2; }},
        {"closing pulse", [&] { return !port.dtr && port.rts; }},
    };
    Write(FirmwareText(5));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        Programmer closing(window, port); // a window closes once
        port.writes.clear();
        port.closes = 0;
        size_t writesAtClose = 0;
        window.onPump = [&](int) {
            if (port.IsOpen() && c.now()) {
                writesAtClose = port.writes.size();
                closing.StopRequested = true;
                closing.ReleaseForClose();
            }
        };
        closing.Programing(dir.Path("fw.hex"), portPath);
        EXPECT_TRUE(window.messages.empty());
        EXPECT_EQ(port.writes.size(), writesAtClose);
        EXPECT_FALSE(port.dtr);
        EXPECT_FALSE(port.rts);
        EXPECT_EQ(port.opsWhileClosed, 0);
        EXPECT_EQ(port.closes, 1);
        EXPECT_FALSE(closing.Busy);
    }
}

} // namespace
