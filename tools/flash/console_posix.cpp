#include "Console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
std::atomic<int> stopSignals{0};

void OnStopSignal(int) {
    if (stopSignals.fetch_add(1) >= 1) {
        // Exiting closes the port's descriptor, which drops its lock and exclusivity.
        static const char text[] = "\nAbbruch.\n";
        (void)!write(STDERR_FILENO, text, sizeof text - 1);
        _exit(2);
    }
}
} // namespace

void PrepareConsole() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() takes the lowest free descriptor: this one.
            const int placeholder = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (placeholder >= 0 && placeholder != fd)
                ::close(placeholder);
        }
    }
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

int StopSignalCount() {
    return stopSignals.load();
}

const char* PermissionHint(int osError) {
    if (osError != EACCES && osError != EPERM)
        return nullptr;
    return "Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen "
           "(sudo usermod -aG dialout $USER) und sich neu anmelden.";
}
