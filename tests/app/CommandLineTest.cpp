// The window's command line: what it opens, what it says instead, and what it refuses.
#include "CommandLine.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using Action = WindowCommandLine::Action;
namespace fs = std::filesystem;

TEST(WindowCommandLine, AFileAndTheUserFolderOpenTheWindow) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    const struct {
        std::vector<std::string> arguments;
        std::string file;
        bool userFolder;
    } cases[] = {
        {{}, "", false},
        {{"--user-folder"}, "", true},
        // Relative names are taken against the folder the program was started in, before
        // --user-folder changes it.
        {{"--user-folder", "Downloads/Morvik2 update.QV"},
         dir.Path("Downloads/Morvik2 update.QV"),
         true},
        {{"../Jürgen/neu.QV", "--user-folder"}, dir.Path("../Jürgen/neu.QV"), true},
        {{"/media/usb/update.QV"}, "/media/usb/update.QV", false},
        // After "--" a file may start with a dash.
        {{"--", "-neu.QV"}, dir.Path("-neu.QV"), false},
        {{"-"}, dir.Path("-"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments[0]);
        const WindowCommandLine line = ParseWindowCommandLine(c.arguments);
        EXPECT_EQ(line.action, Action::Open);
        EXPECT_EQ(line.file, c.file.empty() ? "" : fs::path(c.file).lexically_normal().string());
        EXPECT_EQ(line.userFolder, c.userFolder);
    }
}

TEST(WindowCommandLine, HelpAndVersionSayWhatTheyShowAndOpenNothing) {
    EXPECT_EQ(ParseWindowCommandLine({"--help"}).action, Action::Help);
    EXPECT_EQ(ParseWindowCommandLine({"-h"}).action, Action::Help);
    EXPECT_EQ(ParseWindowCommandLine({"update.QV", "--help", "--bogus"}).action, Action::Help);
    EXPECT_EQ(ParseWindowCommandLine({"--version"}).action, Action::Version);
    EXPECT_EQ(ParseWindowCommandLine({"--", "--help"}).action, Action::Open);

    const std::string usage = WindowUsage();
    EXPECT_EQ(usage.rfind("Aufruf: morvik2-update [--user-folder] [DATEI]\n", 0), 0u);
    for (const char* option : {"--user-folder", "--help", "--version", "Morvik2 update.QV"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_EQ(WindowVersion(), "morvik2-update " MORVIK2_TEST_VERSION);
}

TEST(WindowCommandLine, MistakesAreNamed) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{"--bogus"}, "Unbekannte Option: --bogus"},
        {{"-x", "a.QV"}, "Unbekannte Option: -x"},
        {{"--user-folder=yes"}, "Unbekannte Option: --user-folder=yes"},
        {{"a.QV", "b.QV"}, "Nur eine Firmware-Datei: b.QV"},
        {{""}, "Leerer Dateiname"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const WindowCommandLine line = ParseWindowCommandLine(c.arguments);
        EXPECT_EQ(line.action, Action::UsageError);
        EXPECT_EQ(line.error, c.error);
    }
}

} // namespace
