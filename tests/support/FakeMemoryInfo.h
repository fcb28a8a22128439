#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <string>

// Test double of the memory the process may have: a fake /proc and /sys that the memory check
// reads for its lifetime. It starts as a machine with a terabyte available and the process in
// the root cgroups of a v1 memory hierarchy and of v2, neither limited.
class FakeMemoryInfo {
  public:
    FakeMemoryInfo();
    ~FakeMemoryInfo();
    FakeMemoryInfo(const FakeMemoryInfo&) = delete;
    FakeMemoryInfo& operator=(const FakeMemoryInfo&) = delete;

    // Writes path (relative to the fake root: "proc/meminfo", "sys/fs/cgroup/...") with text.
    void Write(const std::string& path, const std::string& text);
    // /proc/meminfo with these figures in kB; MemAvailable left out when available < 0.
    void System(long long memFreeKb, long long availableKb, long long swapFreeKb);
    // /proc/self/cgroup: the process's cgroup in the v1 memory hierarchy and in v2.
    void Cgroups(const std::string& v1, const std::string& v2);
    // A cgroup's limit ("max" or a number of bytes), use and inactive file cache; v1 groups
    // live under sys/fs/cgroup/memory, v2 under sys/fs/cgroup/unified (as /proc/self/mountinfo
    // says).
    void V1Group(const std::string& path, const std::string& limit, std::uint64_t usage,
                 std::uint64_t inactiveFile = 0);
    void V2Group(const std::string& path, const std::string& max, std::uint64_t current,
                 std::uint64_t inactiveFile = 0);
    // Room for exactly bytes more: MemoryFits(bytes) holds, MemoryFits(bytes + 1) does not.
    void LeaveRoomFor(std::uint64_t bytes);

  private:
    QTemporaryDir m_dir;
};
