#include "Process.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int counter = 0;

// In the child: makes descriptor `fd` what `how` asks for, `file` being its file.
void Connect(int fd, Output how, int file) {
    if (how == Output::File) {
        dup2(file, fd);
    } else if (how == Output::Closed) {
        close(fd);
    } else {
        int ends[2];
        if (pipe(ends) != 0)
            _exit(125);
        close(ends[0]);
        dup2(ends[1], fd);
        close(ends[1]);
    }
}

} // namespace

Process::Process(const std::vector<std::string>& argv, const std::string& workDir, int asUser,
                 Outputs outputs, const Inherited& inherited) {
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++counter);
    out_ = workDir + "/.out-" + tag;
    err_ = workDir + "/.err-" + tag;
    // Made before the fork: the child may only call what is async-signal-safe.
    std::vector<std::string> environment;
    const auto set = [&](const std::string& entry, bool add = true) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        environment.erase(
            std::remove_if(environment.begin(), environment.end(),
                           [&](const std::string& e) { return e.rfind(name, 0) == 0; }),
            environment.end());
        if (add)
            environment.push_back(entry);
    };
    for (char** entry = environ; *entry; ++entry)
        environment.push_back(*entry);
    set("MORVIK2_PORT=", false);
    set("XDG_DATA_HOME=" + workDir + "/.no-user-folder");
    for (const std::string& entry : inherited.environment)
        set(entry);
    std::vector<char*> envp;
    for (const auto& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(127);
        int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (asUser >= 0 && (setgid(gid_t(asUser)) != 0 || setuid(uid_t(asUser)) != 0))
            _exit(126);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        Connect(1, outputs.out, out);
        Connect(2, outputs.err, err);
        // As a shell starts it, whatever the test runner does with these.
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int ignored : inherited.ignoredSignals)
            signal(ignored, SIG_IGN);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore); // a test that crashes the child on purpose
        if (inherited.fileSizeLimit >= 0) {
            const rlimit size{rlim_t(inherited.fileSizeLimit), rlim_t(inherited.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
}

Process::~Process() {
    if (Running()) {
        kill(pid_, SIGKILL);
        Wait();
    }
}

void Process::Signal(int signal) const {
    kill(pid_, signal);
}

bool Process::Running() {
    if (pid_ <= 0 || status_ >= 0)
        return false;
    return Wait(std::chrono::milliseconds(0)) < 0;
}

int Process::Wait(std::chrono::milliseconds limit) {
    if (status_ >= 0)
        return status_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        rusage usage{};
        pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            cpuMs_ = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (limit.count() > 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                status_ = 255;
                return -1;
            }
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string Process::Stdout() const {
    return ReadFile(out_);
}
std::string Process::Stderr() const {
    return ReadFile(err_);
}

bool Process::WaitForOutput(const std::string& text, bool onStderr,
                            std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if ((onStderr ? Stderr() : Stdout()).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HaveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}
