// morvik2-sim's command line: in German like the other programs', and a wrong one starts no
// device.
#include "Process.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulatorCommandLine, SpeaksGerman) {
    TempDir dir;
    Process help({MORVIK2_SIM, "--help"}, dir.Path());
    EXPECT_EQ(help.Wait(), 0);
    const std::string text = help.Stdout();
    for (const char* english : {"Usage", "Options", "OPTIONS", "Print this", "Display", "TEXT",
                                "INT", "NONNEGATIVE", "pseudo-terminal's"})
        EXPECT_EQ(text.find(english), std::string::npos) << english;
    for (const char* german :
         {"Aufruf: morvik2-sim [ANGABEN]", "Diese Hilfe zeigen", "--link PFAD",
          "--power-on-after ANZAHL", "--fault FEHLER", "Nach dem ersten Ende-Befehl beenden"})
        EXPECT_NE(text.find(german), std::string::npos) << german;

    const std::string hint = "Alle Angaben: morvik2-sim --help\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string stderrText;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "Unbekannte Angabe: --bogus\n"},
        {{"--link"}, "--link: Wert fehlt.\n"},
        {{"--baud", "-1"}, "--baud: \"-1\" ist keine ganze Zahl ab 0\n"},
        {{"--fault", "silent"},
         "--fault: \"silent\" ist keiner von silent@N, wrong@N, short@N, hangup@N, end-silent, "
         "end-wrong\n"},
        // Beyond an int: refused, not a crash.
        {{"--fault", "wrong@99999999999"},
         "--fault: \"wrong@99999999999\" ist keiner von silent@N, wrong@N, short@N, hangup@N, "
         "end-silent, end-wrong\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments.back());
        std::vector<std::string> argv = {MORVIK2_SIM};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Process run(argv, dir.Path());
        EXPECT_EQ(run.Wait(), 64);
        EXPECT_EQ(run.Stderr(), c.stderrText + hint);
        EXPECT_EQ(run.Stdout(), "");
    }
}

} // namespace
