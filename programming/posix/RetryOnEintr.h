// The one loop for POSIX calls that a signal can interrupt.
#pragma once

#include <cerrno>

// `call` made again for as long as a signal interrupts it (-1 with EINTR): a handler without
// SA_RESTART, and for poll and ppoll any handler, ends a blocking call that way, which is no
// failure of the call.
template <typename Call> auto RetryOnEintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}
