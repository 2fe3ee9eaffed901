#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// A file in a private folder made once per fuzzing process and removed when it ends normally,
// for code that replaces a file by renaming a new one over it (which a memory file cannot
// take). A crashed run leaves the folder in the temporary directory.
class FolderFile {
public:
    explicit FolderFile(const std::string& name) {
        // In memory where possible: every write is flushed to disk, and on a disk that costs
        // nine tenths of the speed.
        const char* temporary = std::getenv("TMPDIR");
        const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                 : temporary && *temporary     ? temporary
                                                               : "/tmp";
        std::string pattern = base + "/morvik2-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            Fail("mkdtemp");
        folder_ = pattern;
        path_ = folder_ + "/" + name;
    }
    ~FolderFile() {
        for (const auto& name : Entries())
            unlink((folder_ + "/" + name).c_str());
        rmdir(folder_.c_str());
    }
    FolderFile(const FolderFile&) = delete;
    FolderFile& operator=(const FolderFile&) = delete;

    const std::string& Path() const { return path_; }

    void Store(const std::string& text) const {
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            Fail("open");
        for (size_t done = 0; done < text.size();) {
            const ssize_t written = write(fd, text.data() + done, text.size() - done);
            if (written <= 0)
                Fail("write");
            done += size_t(written);
        }
        close(fd);
    }

    std::string Load() const {
        const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            Fail("open");
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
            if (got < 0)
                Fail("read");
            text.append(buffer, size_t(got));
        }
        close(fd);
        return text;
    }

    // What the folder holds, by name, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        DIR* folder = opendir(folder_.c_str());
        if (!folder)
            Fail("opendir");
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(folder);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    [[noreturn]] static void Fail(const char* what) {
        std::perror(what);
        std::abort();
    }

    std::string folder_;
    std::string path_;
};
