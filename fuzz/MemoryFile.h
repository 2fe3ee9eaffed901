#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

// A file that lives in memory for the whole fuzzing process and is reached by a path, because
// the code under test opens files by name. Nothing is left behind when a run crashes.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Path() const { return path_; }

    void Store(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0)
            Fail("ftruncate");
        for (size_t done = 0; done < size;) {
            const ssize_t written = pwrite(fd_, data + done, size - done, off_t(done));
            if (written <= 0)
                Fail("pwrite");
            done += size_t(written);
        }
    }
    void Store(const std::string& text) {
        Store(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    std::string Load() const {
        std::string text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t got = pread(fd_, buffer, sizeof buffer, at);
            if (got < 0)
                Fail("pread");
            if (got == 0)
                return text;
            text.append(buffer, size_t(got));
            at += got;
        }
    }

private:
    [[noreturn]] static void Fail(const char* what) {
        std::perror(what);
        std::abort();
    }

    int fd_;
    std::string path_;
};
