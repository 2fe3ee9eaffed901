// The settings file on POSIX systems.
#include "ProfileStorage.h"

#include "RetryOnEintr.h"
#include "UniqueFd.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace profile_storage {
namespace {

bool WriteAll(int fd, const std::string& content) {
    for (size_t done = 0; done < content.size();) {
        const ssize_t written =
            RetryOnEintr([&] { return ::write(fd, content.data() + done, content.size() - done); });
        if (written <= 0)
            return false;
        done += size_t(written);
    }
    return true;
}

// Checked beforehand: writing past the limit would end the program with SIGXFSZ.
bool WithinFileSizeLimit(size_t size) {
    rlimit limit{};
    return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
           size <= limit.rlim_cur;
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file `path` ends at after symbolic links; it need not exist. Empty for a loop.
std::string Resolve(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        char link[4096];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length <= 0 || size_t(length) == sizeof link)
            return {};
        path = link[0] == '/' ? std::string(link, size_t(length))
                              : Folder(path) + "/" + std::string(link, size_t(length));
    }
    return {};
}

// A new file beside `target`; -1 with errno set when the folder takes none. Created as any new
// file would be, so that a new settings file gets the user's usual permissions.
int CreateBeside(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void SyncFolder(const std::string& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid())
        (void)::fsync(fd.Get());
}

} // namespace

ReadResult ReadAll(const std::string& path, std::size_t limit, std::string& content) {
    content.clear();
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid())
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        uintmax_t(info.st_size) > limit)
        return ReadResult::Unreadable;
    content.reserve(size_t(info.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::read(file.Get(), buffer, sizeof buffer); });
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

ReplaceResult Replace(const std::string& path, const std::string& content) {
    const std::string target = Resolve(path);
    if (target.empty() || !WithinFileSizeLimit(content.size()))
        return ReplaceResult::Failed;
    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return ReplaceResult::Failed;
    // The folder's permission would allow replacing it, but the user made it read-only.
    if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return ReplaceResult::Failed;

    std::string name;
    UniqueFd temp(CreateBeside(target, name));
    if (!temp.Valid())
        return errno == EACCES || errno == EPERM ? ReplaceResult::OnlyInPlace
                                                 : ReplaceResult::Failed;
    const auto discard = [&](ReplaceResult result) {
        ::unlink(name.c_str());
        return result;
    };
    if (!WriteAll(temp.Get(), content))
        return discard(ReplaceResult::Failed);
    if (exists) {
        // A file that changed hands could lock out the owner of the old one.
        struct stat made {};
        if (::fstat(temp.Get(), &made) != 0)
            return discard(ReplaceResult::Failed);
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
            ::fchown(temp.Get(), old.st_uid, old.st_gid) != 0)
            return discard(ReplaceResult::OnlyInPlace);
        if (::fchmod(temp.Get(), old.st_mode & 07777) != 0)
            return discard(ReplaceResult::Failed);
    }
    if (::fsync(temp.Get()) != 0 || !temp.Close() || ::rename(name.c_str(), target.c_str()) != 0)
        return discard(ReplaceResult::Failed);
    SyncFolder(Folder(target));
    return ReplaceResult::Replaced;
}

bool Overwrite(const std::string& path, const std::string& content) {
    const std::string target = Resolve(path);
    struct stat info {};
    if (target.empty() || !WithinFileSizeLimit(content.size()) ||
        ::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    UniqueFd file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // Room for a longer text is taken first, so that a full disk fails before anything changes.
    if (off_t(content.size()) > info.st_size) {
        const int error = ::posix_fallocate(file.Get(), 0, off_t(content.size()));
        if (error == ENOSPC || error == EDQUOT || error == EFBIG) {
            const int undone = ::ftruncate(file.Get(), info.st_size);
            (void)undone;
            return false;
        }
    }
    return WriteAll(file.Get(), content) && ::ftruncate(file.Get(), off_t(content.size())) == 0 &&
           ::fsync(file.Get()) == 0 && file.Close();
}

} // namespace profile_storage
