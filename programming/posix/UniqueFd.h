// POSIX descriptors closed by their owner.
#pragma once

#include "UniqueResource.h"

#include <unistd.h>

struct FdTraits {
    using Native = int;
    static int Invalid() { return -1; }
    static bool Close(int fd) { return ::close(fd) == 0; }
};
using UniqueFd = UniqueResource<FdTraits>;
