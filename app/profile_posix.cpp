// The settings file on POSIX systems.
#include "ProfileStorage.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile_storage {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace

ReadResult ReadAll(const std::string& path, std::size_t limit, std::string& content) {
    content.clear();
    const Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        uintmax_t(info.st_size) > limit)
        return ReadResult::Unreadable;
    content.reserve(size_t(info.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadResult::Unreadable;
        if (got == 0)
            return ReadResult::Read;
        // The file may have grown since fstat.
        if (content.size() + size_t(got) > limit)
            return ReadResult::Unreadable;
        content.append(buffer, size_t(got));
    }
}

} // namespace profile_storage
