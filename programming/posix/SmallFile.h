// Files opened on POSIX without acting on what is behind the name, and small ones read whole.
#pragma once

#include "Result.h"
#include "UniqueFd.h"

#include <cstddef>
#include <optional>
#include <string>

// The regular file at `path`, opened for reading without blocking; anything else is refused
// unopened where `stat` can tell (a FIFO would wait for a writer, a device acts on being opened:
// a tty raises its DTR and RTS) and closed again where it was put there meanwhile. The reason is
// an errno value: EISDIR for a folder, ESPIPE for any other non-file.
Result<UniqueFd, int> OpenRegularFile(const std::string& path);

// The first `limit` bytes (or fewer) of the regular file at `path`; nothing for anything else or
// a file that cannot be read. For the system's own trees (sysfs, /proc), which a program must
// not trust to hold only what they should.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit);
