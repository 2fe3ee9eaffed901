// Small files of the system's own trees, read with care.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// POSIX: the first `limit` bytes (or fewer) of the regular file at `path`; nothing for anything
// else (a FIFO, a device, a folder) or a file that cannot be read. For the system's own trees
// (sysfs, /proc), which a program must not trust to hold only what they should.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit);
