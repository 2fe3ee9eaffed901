// The command-line flasher as a process among others: closed or broken standard streams,
// file names the system refuses, options out of range, signals. Whatever happens, the device
// sees nothing but the protocol and the port is left as it was found.
#include "EndToEnd.h"

#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ProcessHardening : public FlashEndToEnd {};

// In a shell: `mkdir gone && cd gone && rmdir "$PWD" && morvik2-flash ARGS`.
std::vector<std::string> InDeletedDirectory(std::vector<std::string> args) {
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "mkdir gone && cd gone && rmdir \"$PWD\" && exec \"$0\" \"$@\"",
        MORVIK2_FLASH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

TEST_F(ProcessHardening, RefusedOptionsAndFileNamesEndWithTheirStatusAndMessage) {
    StartSimulator();
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    fs::create_symlink("loop-b", dir.Path("loop-a"));
    fs::create_symlink("loop-a", dir.Path("loop-b"));
    const std::string longName(300, 'a');
    const std::string inaccessible = "locked/Morvik2 update.QV";
    fs::create_directory(dir.Path("locked"));
    dir.Write(inaccessible, HexFor(MakeData(160)));
    fs::permissions(dir.Path("locked"), fs::perms::owner_all);
    fs::permissions(dir.Path(), fs::perms::all); // an ordinary user reaches "locked" from here

    const std::string cannotAccess = "Auf die Firmware-Datei kann nicht zugegriffen werden!\n";
    auto range = [](const std::string& value) {
        return "--search-timeout: \"" + value +
               "\" ist keine Zahl von 0 (unbegrenzt) bis 86400 Sekunden\n";
    };
    struct Case {
        std::string what;
        std::vector<std::string> argv;
        int status;
        std::string stderrStart;
        int asUser = -1;
    };
    const std::string flash = MORVIK2_FLASH;
    std::vector<Case> cases = {
        {"empty port name",
         {flash, "--port", ""},
         64,
         "--port: \"\" ist weder COM1 bis COM16 noch ein Gerätepfad.\n"},
        {"search timeout NaN",
         {flash, "--port", Link(), "--search-timeout", "nan"},
         64,
         range("nan")},
        {"search timeout infinite",
         {flash, "--port", Link(), "--search-timeout", "inf"},
         64,
         range("inf")},
        {"search timeout negative",
         {flash, "--port", Link(), "--search-timeout", "-1"},
         64,
         range("-1")},
        {"search timeout beyond the clock",
         {flash, "--port", Link(), "--search-timeout", "9.3e9"},
         64,
         range("9.3e9")},
        {"search timeout over a day",
         {flash, "--port", Link(), "--search-timeout", "86401"},
         64,
         range("86401")},
        {"firmware file a symbolic link loop",
         {flash, "--port", Link(), "--file", "loop-a"},
         4,
         cannotAccess + "loop-a: "},
        {"firmware file name too long",
         {flash, "--port", Link(), "--file", longName},
         4,
         cannotAccess + longName + ": "},
        {"help in a deleted working directory", InDeletedDirectory({"--help"}), 0, ""},
        {"run in a deleted working directory",
         InDeletedDirectory({"--port", Link(), "--file", dir.Path("Morvik2 update.QV")}), 0, ""},
    };
    if (geteuid() == 0)
        cases.push_back({"firmware file in a directory without access",
                         {flash, "--port", Link(), "--file", inaccessible},
                         4,
                         cannotAccess + inaccessible + ": Permission denied\n",
                         65534});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Process run(c.argv, dir.Path(), c.asUser);
        EXPECT_EQ(run.Wait(), c.status);
        EXPECT_EQ(run.Stderr().substr(0, c.stderrStart.size()), c.stderrStart);
        if (c.status == 0) {
            EXPECT_EQ(run.Stderr(), "");
        } else {
            EXPECT_EQ(run.Stdout(), "") << "nothing of a run may have started";
        }
    }
    EXPECT_EQ(SimulatorFrames(), 10) << "only the run in the deleted directory reaches the device";
}

} // namespace
