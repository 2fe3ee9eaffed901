// The command line of morvik2-flash as written: its options, read without looking anything up.
#pragma once

#include "MessageText.h"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

// A day: enough for any bench, and far from what the clock can count.
constexpr int MaxSearchTimeout = 86400;

// Names the port of every run without --port: a station's own default.
inline const char* const PortVariable = "MORVIK2_PORT";

// What a run is asked to do. Nothing here has been checked against the settings files, the
// ports or the file system yet; that is CheckFlashCommand's part.
struct FlashOptions {
    std::vector<std::string> ports;      // --port, as given; none: ChoosePorts decides
    std::string file = FirmwareFileName; // --file or the argument
    double searchTimeout = 0;            // seconds, 0 for no limit
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    // --log and --trace: nothing when not given, else the name given, perhaps an empty one.
    std::optional<std::string> logPath;
    std::optional<std::string> tracePath;
};

// Why a command ends before any run: what stderr says, and the exit status.
struct FlashRefusal {
    int exitStatus = 0;
    // Lines without their last line end; a usage error's are followed by UsageHint.
    std::string message;
};

// A usage error: exit status 64, `message` on stderr with UsageHint below it.
FlashRefusal UsageRefusal(const std::string& message);

// What the command line asks for.
struct FlashCommandLine {
    enum class Action {
        Run,       // program the ports of `options`
        ListPorts, // --list-ports: show the serial ports (as JSON with options.json) and end
        Show,      // --help or --version: `shown` on stdout, exit status 0
        Refuse,    // a usage error: `refusal`
    };
    Action action = Action::Run;
    FlashOptions options;
    std::string shown;
    FlashRefusal refusal;
};

// `arguments` as CommandLineArguments gives them: UTF-8, the program's name first.
FlashCommandLine ParseFlashCommandLine(const std::vector<std::string>& arguments);

// "morvik2-flash 1.0.0": what --version shows and a trace begins with.
std::string FlashVersion();

// A file the command cannot reach: `headline`, then the path and the system's reason.
std::string FileProblem(const char* headline, const std::string& path,
                        const std::error_code& error);
