// The settings file on Windows.
#include "ProfileStorage.h"

#include "UniqueHandle.h"
#include "WideText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace profile_storage {
namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool WriteAll(HANDLE file, const std::string& content) {
    for (size_t done = 0; done < content.size();) {
        const DWORD chunk = DWORD(std::min<size_t>(content.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool SetSize(HANDLE file, size_t size) {
    LARGE_INTEGER end{};
    end.QuadPart = LONGLONG(size);
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// The file `path` ends at after symbolic links, or `path` when there is none yet; empty when
// that cannot be told. `exists` says whether there is one.
std::string Resolve(const std::string& path, bool& exists) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? path : std::string();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const UniqueHandle file(CreateFileW(Widen(path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return {};
    std::wstring target(MAX_PATH * 4, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file.Get(), target.data(), DWORD(target.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= target.size())
        return {};
    target.resize(length);
    return Narrow(target);
}

// A new file beside `target`; invalid, with the error kept, when the folder takes none.
HANDLE CreateBeside(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter++) + ".tmp";
        const HANDLE file = CreateFileW(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

ReadResult ReadAll(const std::string& path, std::size_t limit, std::string& content) {
    content.clear();
    const UniqueHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, ShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? ReadResult::Missing
                   : ReadResult::Unreadable;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart < 0 || ULONGLONG(size.QuadPart) > limit)
        return ReadResult::Unreadable;
    content.reserve(size_t(size.QuadPart));
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr))
            return ReadResult::Unreadable;
        if (got == 0)
            return ReadResult::Read;
        if (content.size() + got > limit)
            return ReadResult::Unreadable;
        content.append(buffer, got);
    }
}

ReplaceResult Replace(const std::string& path, const std::string& content) {
    bool exists = false;
    const std::string target = Resolve(path, exists);
    if (target.empty())
        return ReplaceResult::Failed;
    if (exists) {
        // Refuses what the user may not write (read-only, say) and what is no disk file.
        const UniqueHandle probe(CreateFileW(Widen(target).c_str(), GENERIC_WRITE, ShareAll,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
        if (!probe.Valid() || GetFileType(probe.Get()) != FILE_TYPE_DISK)
            return ReplaceResult::Failed;
    }

    std::string name;
    UniqueHandle temp(CreateBeside(target, name));
    if (!temp.Valid())
        return GetLastError() == ERROR_ACCESS_DENIED ? ReplaceResult::OnlyInPlace
                                                     : ReplaceResult::Failed;
    if (!WriteAll(temp.Get(), content) || !FlushFileBuffers(temp.Get()) || !temp.Close()) {
        temp.Close();
        DeleteFileW(Widen(name).c_str());
        return ReplaceResult::Failed;
    }
    // ReplaceFile keeps the old file's attributes and access rights; a plain move is what is
    // left when there is no old file or the volume cannot do that.
    const std::wstring wideTarget = Widen(target), wideName = Widen(name);
    if (exists && ReplaceFileW(wideTarget.c_str(), wideName.c_str(), nullptr,
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return ReplaceResult::Replaced;
    if (MoveFileExW(wideName.c_str(), wideTarget.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ReplaceResult::Replaced;
    DeleteFileW(wideName.c_str());
    return ReplaceResult::Failed;
}

bool Overwrite(const std::string& path, const std::string& content) {
    UniqueHandle file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file.Get(), &size))
        return false;
    // Room for a longer text is taken first, so that a full disk fails before anything changes.
    if (LONGLONG(content.size()) > size.QuadPart && !SetSize(file.Get(), content.size())) {
        SetSize(file.Get(), size_t(size.QuadPart));
        return false;
    }
    const LARGE_INTEGER start{};
    return SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) &&
           WriteAll(file.Get(), content) && SetSize(file.Get(), content.size()) &&
           FlushFileBuffers(file.Get()) && file.Close();
}

} // namespace profile_storage
