// Failed reads and writes on a port that is still there: never mistaken for an unplugged
// adapter, never a loop that spins.
#include "SerialPort.h"

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(SerialFailures, OnlyErrorsOfAVanishedPortCountAsUnplugged) {
    for (uint32_t gone :
         {Win32Error::AccessDenied, Win32Error::InvalidHandle, Win32Error::BadCommand,
          Win32Error::GenFailure, Win32Error::DeviceRemoved, Win32Error::DeviceNotConnected})
        EXPECT_TRUE(Win32ErrorMeansPortGone(gone)) << gone;
    // Operation aborted, I/O device error, semaphore and counter timeouts, bad parameter: one
    // failed exchange each.
    for (uint32_t failed : {0u, 995u, 1117u, 121u, 1121u, 87u})
        EXPECT_FALSE(Win32ErrorMeansPortGone(failed)) << failed;
}

TEST(SerialFailures, AFailedReadStillTakesItsTimeLimit) {
    auto start = Clock::now();
    WaitOutFailedRead(start, {0, 1, 100, 0, 0}, 1); // the search's limits
    EXPECT_GE(Clock::now() - start, 101ms);

    start = Clock::now();
    WaitOutFailedRead(start, {}, 1); // no limit at all: still a pause
    EXPECT_GE(Clock::now() - start, 100ms);

    // Time the read already spent counts: a long-passed limit does not wait again.
    start = Clock::now();
    WaitOutFailedRead(start - 1h, {0, 0, 60000, 0, 0}, 1);
    EXPECT_LT(Clock::now() - start, 30s);
}

} // namespace
