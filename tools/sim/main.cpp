// morvik2-sim: a simulated Morvik 2 on a pseudo-terminal, for tests, demos and benchmarks.
#include "PtyDevice.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#ifndef MORVIK2_VERSION
#define MORVIK2_VERSION "0"
#endif

namespace {

PtyDevice* running = nullptr;

void OnSignal(int) {
    if (running)
        running->Stop();
}

// A stale link from an earlier run is replaced; anything else at the path is left alone.
bool MakeLink(const std::string& link, const std::string& target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "morvik2-sim: %s exists and is not a symbolic link\n",
                         link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::perror(link.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    DeviceOptions options;
    std::string link, fault;
    CLI::App app{"Simulated Morvik 2 bootloader on a pseudo-terminal."};
    app.name("morvik2-sim");
    app.set_version_flag("--version", std::string("morvik2-sim ") + MORVIK2_VERSION);
    app.add_option("--link", link, "symbolic link to the pseudo-terminal's slave");
    app.add_option("--image", options.imagePath,
                   "after each end command, write what was received as Intel HEX");
    app.add_option("--power-on-after", options.powerOnAfter, "ignore the first N sync bytes")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--baud", options.baud, "pace both directions like a real line (0 = unpaced)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--fault", fault,
                   "silent@N, wrong@N, short@N, hangup@N, end-silent or end-wrong");
    app.add_option("--reply-delay-ms", options.replyDelayMs, "answer late")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--once", options.once, "exit after the first end command");
    app.add_flag("--log", options.log, "one line on stderr per frame and end command");
    CLI11_PARSE(app, argc, argv);
    if (!fault.empty()) {
        try {
            options.fault = Fault::Parse(fault);
        } catch (const std::invalid_argument& error) {
            std::fprintf(stderr, "morvik2-sim: %s\n", error.what());
            return 64;
        }
    }

    try {
        PtyDevice device(options);
        if (!link.empty() && !MakeLink(link, device.SlavePath()))
            return 1;
        running = &device;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        std::printf("%s\n", device.SlavePath().c_str());
        std::fflush(stdout);

        device.Run();

        running = nullptr;
        if (!link.empty())
            unlink(link.c_str());
        Bootloader state = device.Snapshot();
        std::fprintf(stderr,
                     "morvik2-sim: %d sync bytes, %d frames (%d with a bad checksum), %d end "
                     "commands%s\n",
                     state.Syncs(), state.Frames(), state.BadChecksumFrames(), state.EndCommands(),
                     device.HungUp() ? ", unplugged" : "");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "morvik2-sim: %s\n", error.what());
        return 1;
    }
    return 0;
}
