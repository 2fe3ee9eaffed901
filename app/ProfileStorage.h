#pragma once

#include <cstddef>
#include <string>

// How the settings file is read on this platform: profile_posix.cpp or
// profile_win32.cpp, chosen by CMake. Paths are as the user gave them; symbolic links are
// followed.
namespace profile_storage {

enum class ReadResult { Read, Missing, Unreadable };

// The whole content of a regular file of at most `limit` bytes. Anything else (a FIFO, a
// device, a directory, a larger file) is Unreadable; opening it never waits.
ReadResult ReadAll(const std::string& path, std::size_t limit, std::string& content);

} // namespace profile_storage
