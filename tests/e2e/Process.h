#pragma once

#include "TempDir.h" // Lines

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// Where the child's stdout or stderr goes.
enum class Output {
    File,       // a file, read with Stdout() or Stderr()
    Closed,     // no descriptor at all, as after ">&-"
    BrokenPipe, // a pipe whose reader is gone, as for "| head" once head has ended
};

struct Outputs {
    Output out = Output::File;
    Output err = Output::File;
};

// What else the child starts with, as a parent shell or the system's limits give it.
struct Inherited {
    std::vector<int> ignoredSignals; // as under nohup
    long long fileSizeLimit = -1;    // bytes a file may grow to (ulimit -f); -1: no limit
    // "NAME=VALUE" for the child's environment. Unless named here, it has no MORVIK2_PORT and a
    // per-user folder that does not exist: what the test runner's user keeps there is not the
    // test's.
    std::vector<std::string> environment = {};
};

// A child program with its stdout and stderr in files (pipes could fill up and stall it).
class Process {
public:
    // `asUser`: run as that user id (the test must be root), as an ordinary user would.
    Process(const std::vector<std::string>& argv, const std::string& workDir, int asUser = -1,
            Outputs outputs = {}, const Inherited& inherited = {});
    ~Process(); // kills the child if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // The exit status, or -1 when it did not end in time (the child is then killed).
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool Running();
    std::string Stdout() const;
    std::string Stderr() const;
    // Waits until stdout or stderr holds `text`; false if it did not come in time.
    bool WaitForOutput(const std::string& text, bool onStderr = false,
                       std::chrono::milliseconds limit = std::chrono::seconds(10));
    // CPU time the child used, in ms, once it has ended.
    double CpuMs() const { return cpuMs_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    double cpuMs_ = 0;
    std::string out_, err_;
};

std::string ReadFile(const std::string& path);
bool HaveProgram(const std::string& name);
