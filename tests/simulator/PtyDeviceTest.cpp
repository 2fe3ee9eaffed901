// The simulated device's own resources: the GUI tests, the benchmark and morvik2-sim create
// many devices in one process, so a device that fails to start must leave nothing open.
#include "PtyDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <set>
#include <stdexcept>
#include <sys/resource.h>

namespace {

std::set<int> OpenDescriptors() {
    std::set<int> fds;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        throw std::runtime_error("/proc/self/fd cannot be listed");
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            fds.insert(std::atoi(entry->d_name));
    fds.erase(dirfd(dir));
    closedir(dir);
    return fds;
}

// For its lifetime, only `spare` more descriptors can be opened.
class DescriptorRoom {
public:
    explicit DescriptorRoom(int spare) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const std::set<int> open = OpenDescriptors();
        int limit = 0;
        for (int free = 0; free <= spare; ++limit)
            free += open.count(limit) ? 0 : 1;
        rlimit lowered = saved_;
        lowered.rlim_cur = rlim_t(limit - 1);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorRoom() { setrlimit(RLIMIT_NOFILE, &saved_); }
    DescriptorRoom(const DescriptorRoom&) = delete;
    DescriptorRoom& operator=(const DescriptorRoom&) = delete;

private:
    rlimit saved_{};
};

TEST(PtyDevice, ADeviceThatCannotStartLeavesNoDescriptorOpen) {
    // The device opens three: the line's master, then the two ends of its wake-up pipe. Any
    // room short of that fails.
    for (int spare = 0; spare < 3; ++spare) {
        const std::set<int> before = OpenDescriptors();
        {
            DescriptorRoom room(spare);
            EXPECT_THROW(PtyDevice{DeviceOptions{}}, std::runtime_error) << "room for " << spare;
        }
        EXPECT_EQ(OpenDescriptors(), before) << "room for " << spare;
    }
    const std::set<int> before = OpenDescriptors();
    {
        DescriptorRoom room(3);
        EXPECT_NO_THROW(PtyDevice{DeviceOptions{}});
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

} // namespace
