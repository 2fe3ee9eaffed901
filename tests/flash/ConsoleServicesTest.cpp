// The command-line tool's console: what one run and several runs at once print, on plain
// streams and on a terminal.
#include "ConsoleServices.h"
#include "Fakes.h"
#include "FirmwareFile.h"
#include "MessageText.h"
#include "Protocol.h"
#include "TempDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Both streams of a console, each into a file of its own.
class Streams {
public:
    Streams()
        : out_(std::fopen(dir_.Path("out").c_str(), "w+")),
          err_(std::fopen(dir_.Path("err").c_str(), "w+")) {}
    ~Streams() {
        std::fclose(out_);
        std::fclose(err_);
    }
    std::FILE* Out() const { return out_; }
    std::FILE* Err() const { return err_; }
    std::string OutText() const { return Read("out", out_); }
    std::string ErrText() const { return Read("err", err_); }

private:
    std::string Read(const char* name, std::FILE* stream) const {
        std::fflush(stream);
        return dir_.Read(name);
    }
    TempDir dir_;
    std::FILE* out_;
    std::FILE* err_;
};

// What a terminal shows after `bytes`, as far as the progress block uses one: text, CR, LF (as
// the terminal driver sends it, to column 0 of the next row), cursor up, erase below; other
// escape sequences change nothing here.
std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> rows(1);
    size_t row = 0, column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1b') {
            const size_t end = bytes.find_first_of("ABCDHJKhlm", i);
            const std::string argument = bytes.substr(i + 2, end - i - 2);
            if (bytes[end] == 'A')
                row -= std::min(row, size_t(std::stoul(argument)));
            if (bytes[end] == 'J') {
                rows.resize(row + 1);
                rows[row].resize(std::min(rows[row].size(), column));
            }
            i = end;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            column = 0;
            if (++row == rows.size())
                rows.emplace_back();
        } else {
            std::string& line = rows[row];
            line.resize(std::max(line.size(), column + 1), ' ');
            line[column++] = c;
        }
    }
    if (rows.back().empty())
        rows.pop_back();
    return rows;
}

TEST(ProgressText, ClampsThePercentAndShowsRateAndTimeLeftOnceMeasured) {
    EXPECT_EQ(ProgressText(-20, 0, 0, 0s), "[" + std::string(30, '.') + "]   0 %");
    EXPECT_EQ(ProgressText(150, 0, 0, 0s), "[" + std::string(30, '#') + "] 100 %");
    // Too early for a rate: bytes only.
    EXPECT_EQ(ProgressText(10, 6554, 65536, 100ms),
              "[###...........................]  10 %  6554/65536 Bytes");
    // 32 KiB in 4 s: 8 KiB/s, the other 32 KiB take 4 s more.
    EXPECT_EQ(ProgressText(50, 32768, 65536, 4s),
              "[###############...............]  50 %  32768/65536 Bytes  8,0 KiB/s  noch 0:04");
    // Minutes, and a partial second counts as one.
    const auto timeLeft = [](const std::string& text) { return text.substr(text.find("noch")); };
    EXPECT_EQ(timeLeft(ProgressText(1, 1024, 80 * 1024, 1s)), "noch 1:19");
    EXPECT_EQ(timeLeft(ProgressText(1, 1000, 81000, 1s)), "noch 1:20");
}

TEST(ConsoleServices, OneRunPrintsStatusLinesAndMessagesUnprefixed) {
    Streams streams;
    ConsoleOutput output(streams.Out(), streams.Err(), 0);
    ConsoleServices console(output, 0, {"COM3", "", false, false});
    console.SetStatus(StatusText::Searching);
    console.SetProgress(50);
    console.ShowMessage(MessageText::NoFirmwareFile);
    console.Beep();
    console.Finish(StatusText::WriteError, 1, 2.5);
    EXPECT_EQ(streams.OutText(), "Suche nach Morvik 2.\n");
    EXPECT_EQ(streams.ErrText(), "Keine hex Datei ausgewählt oder \nDatei existiert nicht!\n");
    EXPECT_EQ(console.Messages().size(), 1u);
    EXPECT_EQ(console.LastStatus(), StatusText::Searching);
}

// A port that cannot be opened: the message as it always was, and below it why, in German
// where the program knows the reason, in the window and on the command line alike.
TEST(PortFailure, EachErrorShowsItsReasonBelowTheMessage) {
    const auto posix = [](int error, const char* reason, const std::string& detail = "") {
        return PortError{"", error, reason, PosixPortFailure(error), detail};
    };
    const auto win32 = [](uint32_t error, const char* reason) {
        return PortError{"", int(error), reason, Win32PortFailure(error), ""};
    };
    const std::string dialout = "Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" "
                                "aufnehmen (sudo usermod -aG dialout $USER) und sich neu anmelden.";
    const std::string held = "Die Schnittstelle wird von einem anderen Programm benutzt.";
    const std::string missing =
        "Diese Schnittstelle gibt es nicht; die Liste zeigt die vorhandenen.";
    const std::string missingHere =
        "Diese Schnittstelle gibt es nicht; `morvik2-flash --list-ports` zeigt die vorhandenen.";
    struct Case {
        PortError error;
        std::string window;
        std::string commandLine; // empty: as the window's
    };
    const std::vector<Case> cases = {
        {posix(EACCES, "Permission denied"), dialout, ""},
        {posix(EPERM, "Operation not permitted"), dialout, ""},
        {posix(EBUSY, "Device or resource busy"), held, ""},
        {posix(EBUSY, "Device or resource busy", "ModemManager (812)"),
         "Die Schnittstelle wird von einem anderen Programm benutzt: ModemManager (812)", ""},
        {posix(ENOENT, "No such file or directory"), missing, missingHere},
        {posix(ENODEV, "No such device"), missing, missingHere},
        {posix(ENXIO, "No such device or address"), missing, missingHere},
        {posix(EIO, "Input/output error"), "Input/output error", ""},
        {win32(5, "Zugriff verweigert"), held, ""},
        {win32(2, "Das System kann die angegebene Datei nicht finden."), missing, missingHere},
        {win32(31, "Ein an das System angeschlossenes Gerät funktioniert nicht."),
         "Ein an das System angeschlossenes Gerät funktioniert nicht.", ""},
    };
    const FirmwareFile firmware = FirmwareFile::FromText(FirmwareText(2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        EventLog log;
        FakeSerialPort port(log);
        port.failStep = 1;
        port.error = c.error;

        FakeWindow window(log);
        Programmer windowRun(window, port);
        windowRun.Programing(firmware, "/dev/ttyUSB0");
        EXPECT_EQ(window.messages,
                  std::vector<std::string>{MessageText::OpenFailed + "\n\r" + c.window});

        Streams streams;
        ConsoleOutput output(streams.Out(), streams.Err(), 0);
        ConsoleServices console(output, 0, {"/dev/ttyUSB0", "", false, false});
        Programmer consoleRun(console, port);
        consoleRun.Programing(firmware, "/dev/ttyUSB0");
        EXPECT_EQ(streams.ErrText(), MessageText::OpenFailed + "\n/dev/ttyUSB0: " +
                                         (c.commandLine.empty() ? c.window : c.commandLine) + "\n");
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(windowRun.Busy || consoleRun.Busy);
    }
}

// A device that answers `frame` (0: the end command) with `reply`, and all else as it should.
std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>
FailingAt(int frame, const std::vector<uint8_t>& reply) {
    auto good = GoodDevice();
    auto frames = std::make_shared<int>(0);
    return [=](const std::vector<uint8_t>& in) {
        const bool isFrame = !in.empty() && in[0] == WriteCommand;
        const bool isEnd = in == std::vector<uint8_t>{EndCommand};
        if ((isFrame && ++*frames == frame) || (isEnd && frame == 0))
            return reply;
        return good(in);
    };
}

// -v: a failed run names the record (its line and address) or the end command that the device
// did not acknowledge, and what it answered; on stderr and as a JSON message.
TEST(ConsoleServices, VerboseNamesTheExchangeThatFailed) {
    const FirmwareFile firmware = FirmwareFile::FromText(":0400100012345678D8\r\n"
                                                         ":020000040000FA\r\n"
                                                         ":04001400AABBCCDDDA\r\n"
                                                         ":00000001FF\r\n");
    const std::string timeout = "Verbindung Timeout!\n";
    struct Case {
        int frame;
        std::vector<uint8_t> reply;
        std::string stderrText;
    };
    const std::vector<Case> cases = {
        {2, {}, timeout + "Fehlgeschlagen bei Zeile 3, Adresse 0014: keine Antwort\n"},
        {2, {0xE4, 0x00}, "Fehlgeschlagen bei Zeile 3, Adresse 0014: Antwort E4 00\n"},
        {1, {0xE7}, "Fehlgeschlagen bei Zeile 1, Adresse 0010: Antwort E7\n"},
        {0, {}, timeout + "Fehlgeschlagen beim Endebefehl: keine Antwort\n"},
        {0, {0x00}, "Fehlgeschlagen beim Endebefehl: Antwort 00\n"},
        {3, {}, ""}, // no third frame: the run succeeds and says nothing more
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stderrText);
        EventLog log;
        FakeSerialPort port(log);
        port.device = FailingAt(c.frame, c.reply);
        Streams streams;
        ConsoleOutput output(streams.Out(), streams.Err(), 0);
        ConsoleServices console(output, 0, {"COM3", "", false, true, true});
        Programmer run(console, port);
        console.Attach(run);
        run.Programing(firmware, "\\\\.\\COM3");
        EXPECT_EQ(streams.ErrText(),
                  c.stderrText + (c.stderrText.empty() ? "" : "Schreibfehler!\n"));
        std::string messages;
        for (const std::string& line : Lines(streams.OutText())) {
            const auto event = nlohmann::json::parse(line);
            if (event["event"] == "message")
                messages += event["message"].get<std::string>() + "\n";
        }
        EXPECT_EQ(messages, streams.ErrText());
    }
}

TEST(ConsoleServices, RunsOfAGangPrefixEveryLineWithTheirPort) {
    Streams streams;
    ConsoleOutput output(streams.Out(), streams.Err(), 0);
    ConsoleServices console(output, 1, {"/dev/ttyUSB1", "[/dev/ttyUSB1] ", false, false});
    console.SetStatus(StatusText::AllOk);
    console.ShowMessage("Fehler in Hex Datei!\n\rZeile 2: Prüfsumme falsch!");
    EXPECT_EQ(streams.OutText(), "[/dev/ttyUSB1] Alles OK !\n");
    EXPECT_EQ(streams.ErrText(), "[/dev/ttyUSB1] Fehler in Hex Datei!\n"
                                 "[/dev/ttyUSB1] Zeile 2: Prüfsumme falsch!\n");
}

TEST(ConsoleServices, LinesOfRunsPrintingAtOnceNeverCutIntoEachOther) {
    Streams streams;
    ConsoleOutput output(streams.Out(), streams.Err(), 0);
    const int runs = 8, lines = 300;
    std::vector<std::thread> threads;
    for (int r = 0; r < runs; ++r)
        threads.emplace_back([&, r] {
            const std::string port = "COM" + std::to_string(r + 1);
            ConsoleServices console(output, size_t(r), {port, "[" + port + "] ", false, false});
            for (int i = 0; i < lines; ++i) {
                console.SetStatus(StatusText::Writing);
                console.ShowMessage("erste Zeile\n\rzweite Zeile");
            }
        });
    for (auto& thread : threads)
        thread.join();
    std::map<std::string, int> seen;
    for (const std::string& line : Lines(streams.OutText())) {
        ASSERT_EQ(line.substr(line.find(']')), "] Schreibe Daten, bitte warten!");
        ++seen[line];
    }
    EXPECT_EQ(seen.size(), size_t(runs));
    // A message's lines stay together.
    const auto err = Lines(streams.ErrText());
    ASSERT_EQ(err.size(), size_t(2 * runs * lines));
    for (size_t i = 0; i < err.size(); i += 2) {
        const std::string port = err[i].substr(0, err[i].find(']') + 1);
        ASSERT_EQ(err[i], port + " erste Zeile");
        ASSERT_EQ(err[i + 1], port + " zweite Zeile");
    }
}

TEST(ConsoleServices, JsonEventsReplaceTheStatusTextsAndCarryTheMessages) {
    Streams streams;
    ConsoleOutput output(streams.Out(), streams.Err(), 0);
    ConsoleServices console(output, 0, {"COM3", "", false, true});
    Clock::time_point now{};
    console.Now = [&] { return now; };
    console.SetStatus(StatusText::Writing);
    // A hundred steps within a tenth of a second: one event, and the last step always.
    for (int percent = 1; percent <= 99; ++percent)
        console.SetProgress(percent);
    now += 150ms;
    console.SetProgress(100);
    console.ShowMessage(MessageText::Timeout);
    console.Finish(StatusText::WriteError, 1, 2.25);

    std::vector<nlohmann::json> events;
    for (const std::string& line : Lines(streams.OutText()))
        events.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(events.size(), 5u) << streams.OutText();
    EXPECT_EQ(events[0]["event"], "status");
    EXPECT_EQ(events[0]["status"], StatusText::Writing);
    EXPECT_EQ(events[1]["event"], "progress");
    EXPECT_EQ(events[1]["percent"], 1);
    EXPECT_EQ(events[2]["percent"], 100);
    EXPECT_EQ(events[3]["message"], "Verbindung Timeout!");
    EXPECT_EQ(events[4]["event"], "result");
    EXPECT_EQ(events[4]["result"], "Schreibfehler!");
    EXPECT_EQ(events[4]["exit_status"], 1);
    EXPECT_EQ(events[4]["seconds"], 2.25);
    EXPECT_EQ(events[4]["message"], "Verbindung Timeout!");
    for (const auto& event : events)
        EXPECT_EQ(event["port"], "COM3");
    // Messages still reach the person watching.
    EXPECT_EQ(streams.ErrText(), "Verbindung Timeout!\n");
}

// On a terminal: one progress line per run at the bottom of stderr, redrawn in place at most
// ten times a second; other output goes above it.
TEST(ConsoleServices, ProgressBlockStaysBelowTheOtherLines) {
    Streams streams;
    ConsoleOutput output(streams.Out(), streams.Err(), 2);
    Clock::time_point now = Clock::now();
    output.Now = [&] { return now; };
    ConsoleServices first(output, 0, {"A", "[A] ", true, false});
    ConsoleServices second(output, 1, {"B", "[B] ", true, false});
    first.Now = second.Now = output.Now;
    first.SetStatus(StatusText::Searching);
    second.SetStatus(StatusText::Searching);
    const std::string start = streams.ErrText();
    // The hint once for all runs; the block: both ports' lines.
    EXPECT_EQ(start.find("Morvik 2 jetzt einschalten.\n"),
              start.rfind("Morvik 2 jetzt einschalten.\n"));
    EXPECT_NE(start.find("[A] Suche nach Morvik 2.\n[B] Suche nach Morvik 2.\n"),
              std::string::npos);

    for (int percent = 1; percent <= 50; ++percent)
        first.SetProgress(percent); // within one tenth of a second: not one redraw
    EXPECT_EQ(streams.ErrText(), start);
    now += 100ms;
    first.SetProgress(51);
    const std::string redrawn = streams.ErrText().substr(start.size());
    EXPECT_EQ(redrawn.rfind("\r\x1b[2A\x1b[J", 0), 0u) << "moves back over both lines";
    EXPECT_NE(redrawn.find("[A] [###############"), std::string::npos);

    first.ShowMessage(MessageText::Timeout);
    const std::string afterMessage = streams.ErrText().substr(start.size() + redrawn.size());
    const size_t message = afterMessage.find("[A] Verbindung Timeout!\n");
    ASSERT_NE(message, std::string::npos);
    EXPECT_NE(afterMessage.find("[B] Suche nach Morvik 2.", message), std::string::npos)
        << "the block comes back below the message";

    first.Finish(StatusText::WriteError, 1, 3.04);
    EXPECT_NE(streams.ErrText().find("[A] 0 Datensätze, 0 Bytes, 3,0 s\n"), std::string::npos);
}

// Ctrl-C on a terminal echoes "^C" below the block, two columns along; what is drawn after it
// starts at the line's beginning all the same, and the echo is gone.
TEST(ConsoleServices, StopOnATerminalLeavesNoTraceOfTheEcho) {
    Streams streams;
    ConsoleOutput output(streams.Err(), streams.Err(), 1); // one screen for both
    ConsoleServices console(output, 0, {"COM1", "", true, false});
    console.SetStatus(StatusText::Searching);
    std::fputs("^C", streams.Err());
    console.SetStatus(StatusText::SearchStopped);
    console.Finish(StatusText::SearchStopped, 2, 1.0);
    EXPECT_EQ(Screen(streams.ErrText()),
              (std::vector<std::string>{"Suche nach Morvik 2.", "Morvik 2 jetzt einschalten.",
                                        "Suche abgebrochen.", "0 Datensätze, 0 Bytes, 1,0 s"}));
}

} // namespace
