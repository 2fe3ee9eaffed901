// How the settings file is read and replaced on each platform.
#pragma once

#include <cstddef>
#include <string>

// How the settings file is read and replaced on this platform: posix/ProfileStorage_posix.cpp
// or win32/ProfileStorage_win32.cpp, chosen by CMake. Paths are as the user gave them; symbolic
// links are followed.
namespace profile_storage {

enum class ReadResult { Read, Missing, Unreadable };

// The whole content of a regular file of at most `limit` bytes. Anything else (a FIFO, a
// device, a directory, a larger file) is Unreadable; opening it never waits.
ReadResult ReadAll(const std::string& path, std::size_t limit, std::string& content);

enum class ReplaceResult { Replaced, Failed, OnlyInPlace };

// Makes `content` the content of the file `path` leads to, whole or not at all: through a new
// file beside it that is renamed over it and keeps its permissions. A file the user may not
// write, or that is not a regular file, is not replaced. OnlyInPlace: the folder takes no new
// file, or the new one could not be given the old one's owner; nothing was changed. Nothing is
// left behind.
ReplaceResult Replace(const std::string& path, const std::string& content);

// Overwrites the existing regular file `path` leads to. Not atomic: only for when Replace
// cannot be done.
bool Overwrite(const std::string& path, const std::string& content);

} // namespace profile_storage
