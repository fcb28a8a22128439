// What the memory check finds in /proc and /sys: the system's available memory and swap, and
// the room under the limits of the process's cgroups, v1 and v2.
#include <gtest/gtest.h>

#include <functional>

#include "document/MemoryCheck.h"
#include "support/FakeMemoryInfo.h"

namespace {
constexpr std::uint64_t kMB = 1 << 20;
constexpr std::uint64_t kGB = 1 << 30;
}  // namespace

TEST(MemoryCheck, AvailableIsTheLeastOfTheSystemAndEveryLimitedCgroup) {
    struct Case {
        const char* name;
        std::function<void(FakeMemoryInfo&)> set;
        std::uint64_t available;
    } cases[] = {
        {"MemAvailable plus SwapFree", [](FakeMemoryInfo& f) { f.System(10, 1000, 24); },
         1024 * 1024},
        {"MemFree on a kernel without MemAvailable",
         [](FakeMemoryInfo& f) { f.System(700, -1, 0); }, 700 * 1024},
        {"nothing readable",
         [](FakeMemoryInfo& f) {
             f.Write("proc/meminfo", "");
             f.Write("proc/self/cgroup", "");
         },
         kMemoryUnknown},
        {"v1 limit less use, the inactive file cache given back",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/box", "/");
             f.V1Group("/box", std::to_string(3 * kGB), kGB, 200 * kMB);
         },
         3 * kGB - kGB + 200 * kMB},
        {"v1 unlimited",
         [](FakeMemoryInfo& f) {
             f.System(0, 4 * 1024 * 1024, 0);
             f.Cgroups("/box", "/");
             f.V1Group("/box", "9223372036854771712", kGB);
         },
         4 * kGB},
        {"v2 max less current",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/", "/user/app");
             f.V2Group("/user/app", std::to_string(2 * kGB), 500 * kMB);
         },
         2 * kGB - 500 * kMB},
        {"v2 unlimited",
         [](FakeMemoryInfo& f) {
             f.System(0, 1024, 0);
             f.Cgroups("/", "/user/app");
             f.V2Group("/user/app", "max", kGB);
         },
         1024 * 1024},
        {"a parent's limit with less room than the process's own",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/a/b", "/");
             f.V1Group("/a", std::to_string(kGB), 900 * kMB);
             f.V1Group("/a/b", std::to_string(4 * kGB), 100 * kMB);
         },
         kGB - 900 * kMB},
        {"use beyond the limit leaves none",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/", "/app");
             f.V2Group("/app", std::to_string(kGB), 2 * kGB);
         },
         0},
        {"the system has less than the cgroup allows",
         [](FakeMemoryInfo& f) {
             f.System(0, 1024, 0);
             f.Cgroups("/box", "/");
             f.V1Group("/box", std::to_string(kGB), 0);
         },
         1024 * 1024},
        {"both hierarchies limited: the smaller room",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/box", "/app");
             f.V1Group("/box", std::to_string(kGB), 0);
             f.V2Group("/app", std::to_string(kGB), 300 * kMB);
         },
         kGB - 300 * kMB},
        {"a container's mount shows its own cgroup as the root",
         [](FakeMemoryInfo& f) {
             f.Cgroups("/docker/c1/job", "/");
             f.Write("proc/self/mountinfo",
                     "35 31 0:32 /docker/c1 /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n");
             f.V1Group("/job", std::to_string(kGB), 0);
             f.V1Group("/", std::to_string(512 * kMB), 12 * kMB);
         },
         500 * kMB},
        {"no memory hierarchy mounted",
         [](FakeMemoryInfo& f) {
             f.System(0, 2048, 0);
             f.Cgroups("/box", "/app");
             f.Write("proc/self/mountinfo", "22 1 0:21 / /sys rw - sysfs sysfs rw\n");
             f.V1Group("/box", std::to_string(kMB), 0);
         },
         2 * kMB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMemoryInfo fake;
        c.set(fake);
        EXPECT_EQ(AvailableMemory(), c.available);
        if (c.available == kMemoryUnknown) {
            EXPECT_TRUE(MemoryFits(UINT64_MAX));
        } else if (c.available >= kMemoryReserve) {
            EXPECT_TRUE(MemoryFits(c.available - kMemoryReserve));
            EXPECT_FALSE(MemoryFits(c.available - kMemoryReserve + 1));
        } else {
            EXPECT_FALSE(MemoryFits(0));
        }
    }
}
