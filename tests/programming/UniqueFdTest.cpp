// Descriptors closed exactly once, by their last owner: a port or file left open would keep the
// device or the file from the next run, and one closed twice could close another's.
#include "UniqueFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

bool IsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, TheLastOwnerClosesItOnce) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    {
        UniqueFd first(ends[0]);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_EQ(second.Get(), ends[0]);
        EXPECT_TRUE(IsOpen(ends[0]));
        // Taking another closes the one held before.
        second = UniqueFd(ends[1]);
        EXPECT_FALSE(IsOpen(ends[0]));
        EXPECT_TRUE(IsOpen(ends[1]));

        // Handed over, it stays open for the new owner.
        UniqueFd taker(second.Release());
        EXPECT_TRUE(IsOpen(ends[1]));
        EXPECT_TRUE(taker.Close());
        EXPECT_FALSE(IsOpen(ends[1]));
        EXPECT_FALSE(taker.Close()); // nothing is left to close
    }
    ASSERT_EQ(pipe(ends), 0);
    { const UniqueFd owner(ends[0]); }
    EXPECT_FALSE(IsOpen(ends[0]));
    ::close(ends[1]);
}

} // namespace
