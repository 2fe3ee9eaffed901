// Every fault a real bench produces, against the real command-line flasher: a clear message,
// the documented exit status, the port free again at once, no hang and no spinning. (Wrong
// and short replies: FlashEndToEnd.DeviceFaultsEndWithTheirMessagesAndExitStatus.)
#include "EndToEnd.h"

#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class FaultSuite : public FlashEndToEnd {
protected:
    void SetUp() override { original = HexFor(MakeData(800)); }
    void WriteFirmware() { dir.Write("Morvik2 update.QV", original); }
    std::string original;
};

TEST_F(FaultSuite, SilentDeviceWaitsQuietlyAndFailsClearly) {
    WriteFirmware();
    StartSimulator({"--power-on-after", "1000000"});
    auto start = Clock::now();
    auto searching = Flash({"--search-timeout", "3"});
    EXPECT_EQ(searching->Wait(), 5);
    EXPECT_EQ(Lines(searching->Stdout()).back(), "Suche abgebrochen.");
    // Told apart from a user's stop, which ends with the same status and no message.
    EXPECT_EQ(searching->Stderr(), "Keine Antwort vom Morvik 2 innerhalb von 3 s.\n");
    ExpectCpuShare("device silent during the search", *searching, Since(start));
    ExpectPortFree();
    sim->Signal(SIGTERM);
    sim->Wait();

    StartSimulator({"--fault", "silent@3"});
    start = Clock::now();
    auto sending = Flash();
    EXPECT_EQ(sending->Wait(), 1);
    EXPECT_EQ(sending->Stderr(), "Verbindung Timeout!\nSchreibfehler!\n");
    EXPECT_EQ(Lines(sending->Stdout()).back(), "Schreibfehler!");
    ExpectCpuShare("device silent during a frame", *sending, Since(start));
    ExpectPortFree();
}

TEST_F(FaultSuite, UnpluggedAdapterIsNoticedAtOnce) {
    WriteFirmware();
    StartSimulator({"--power-on-after", "1000000"});
    auto searching = Flash();
    ASSERT_TRUE(searching->WaitForOutput("Suche nach Morvik 2."));
    std::this_thread::sleep_for(300ms);
    auto unplugged = Clock::now();
    sim->Signal(SIGKILL); // the adapter's end of the line vanishes
    EXPECT_EQ(searching->Wait(10s), 3);
    EXPECT_LT(Since(unplugged).count(), 5000); // a loop that never notices never ends
    EXPECT_EQ(searching->Stderr(), "Verbindung zur Schnittstelle unterbrochen!\n");
    EXPECT_EQ(Lines(searching->Stdout()).back(), "Suche abgebrochen.");
    sim->Wait();

    // The run ends at once; a spinning read would show as a run that does not end.
    StartSimulator({"--fault", "hangup@4"});
    auto sending = Flash();
    EXPECT_EQ(sending->Wait(10s), 3);
    EXPECT_EQ(sending->Stderr(), "Verbindung zur Schnittstelle unterbrochen!\nSchreibfehler!\n");
    EXPECT_EQ(Lines(sending->Stdout()).back(), "Schreibfehler!");
    EXPECT_EQ(SimulatorFrames(), 4);
}

TEST_F(FaultSuite, UnreadableFirmwareFileCannotHangTheRun) {
    StartSimulator();
    const std::string file = dir.Path("Morvik2 update.QV");
    dir.MakeFifo("Morvik2 update.QV"); // no writer will ever come
    auto fifo = Flash();
    EXPECT_EQ(fifo->Wait(10s), 4);
    EXPECT_EQ(fifo->Stderr(), "E/A-Fehler 29.\n");
    fs::remove(file);
    dir.MakeDirectory("Morvik2 update.QV");
    auto directory = Flash();
    EXPECT_EQ(directory->Wait(10s), 4);
    EXPECT_EQ(directory->Stderr(), "E/A-Fehler 21.\n");
    EXPECT_EQ(SimulatorFrames(), 0);
    ExpectPortFree();
}

TEST_F(FaultSuite, PortHeldByAnotherFlasherOrMissing) {
    WriteFirmware();
    StartSimulator({"--power-on-after", "1000000"});
    auto first = Flash();
    ASSERT_TRUE(first->WaitForOutput("Suche nach Morvik 2."));
    auto second = Flash();
    EXPECT_EQ(second->Wait(), 3);
    auto lines = Lines(second->Stderr());
    ASSERT_EQ(lines.size(), 2u) << second->Stderr();
    EXPECT_EQ(lines[0], "Schnittstelle konnte nicht geöffnet werden!");
    EXPECT_EQ(lines[1], Link() + ": Die Schnittstelle wird von einem anderen Programm benutzt.");
    EXPECT_EQ(second->Stdout(), "");
    first->Signal(SIGINT);
    EXPECT_EQ(first->Wait(10s), 2);
    ExpectPortFree();

    // An ordinary user without access to the port learns how to get it.
    if (geteuid() == 0) {
        fs::permissions(dir.Path(), fs::perms::all); // the user writes its output files there
        Process denied({MORVIK2_FLASH, "--port", Link()}, dir.Path(), 65534);
        EXPECT_EQ(denied.Wait(), 3);
        EXPECT_EQ(denied.Stderr(),
                  "Schnittstelle konnte nicht geöffnet werden!\n" + Link() +
                      ": Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen "
                      "(sudo usermod -aG dialout $USER) und sich neu anmelden.\n");
    }

    Process missing({MORVIK2_FLASH, "--port", "/dev/ttyMorvik2DoesNotExist"}, dir.Path());
    EXPECT_EQ(missing.Wait(), 3);
    EXPECT_EQ(missing.Stderr(), "Schnittstelle konnte nicht geöffnet werden!\n"
                                "/dev/ttyMorvik2DoesNotExist: Diese Schnittstelle gibt es "
                                "nicht; `morvik2-flash --list-ports` zeigt die vorhandenen.\n");
}

} // namespace
