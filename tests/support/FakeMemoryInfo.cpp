#include "support/FakeMemoryInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "document/MemoryCheck.h"

FakeMemoryInfo::FakeMemoryInfo() {
    System(1ll << 30, 1ll << 30, 0);
    Cgroups("/", "/");
    Write("proc/self/mountinfo",
          "22 1 0:21 / /sys rw - sysfs sysfs rw\n"
          "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n"
          "36 31 0:33 / /sys/fs/cgroup/pids rw,relatime - cgroup cgroup rw,pids\n"
          "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n");
    const std::string root = m_dir.path().toStdString();
    SetMemoryInfoRoots(root + "/proc", root + "/sys");
}

FakeMemoryInfo::~FakeMemoryInfo() {
    SetMemoryInfoRoots(std::string(), std::string());
}

void FakeMemoryInfo::Write(const std::string& path, const std::string& text) {
    const QString file = m_dir.filePath(QString::fromStdString(path));
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.data(), static_cast<qint64>(text.size()));
}

void FakeMemoryInfo::System(long long memFreeKb, long long availableKb, long long swapFreeKb) {
    std::string text = "MemTotal:       " + std::to_string(2 * memFreeKb) + " kB\n" +
                       "MemFree:        " + std::to_string(memFreeKb) + " kB\n";
    if (availableKb >= 0) text += "MemAvailable:   " + std::to_string(availableKb) + " kB\n";
    text += "Buffers:           28828 kB\nSwapTotal:      " + std::to_string(swapFreeKb) +
            " kB\nSwapFree:       " + std::to_string(swapFreeKb) + " kB\n";
    Write("proc/meminfo", text);
}

void FakeMemoryInfo::Cgroups(const std::string& v1, const std::string& v2) {
    Write("proc/self/cgroup", "9:name=systemd:/\n8:pids:/\n4:memory:" + v1 + "\n0::" + v2 + "\n");
}

void FakeMemoryInfo::V1Group(const std::string& path, const std::string& limit, std::uint64_t usage,
                             std::uint64_t inactiveFile) {
    const std::string dir = "sys/fs/cgroup/memory" + (path == "/" ? std::string() : path);
    Write(dir + "/memory.limit_in_bytes", limit + "\n");
    Write(dir + "/memory.usage_in_bytes", std::to_string(usage) + "\n");
    Write(dir + "/memory.stat",
          "cache 4096\nrss 8192\ninactive_file 1\nactive_file 2\n"
          "total_cache 4096\ntotal_inactive_file " +
              std::to_string(inactiveFile) + "\ntotal_active_file 2\n");
}

void FakeMemoryInfo::V2Group(const std::string& path, const std::string& max, std::uint64_t current,
                             std::uint64_t inactiveFile) {
    const std::string dir = "sys/fs/cgroup/unified" + (path == "/" ? std::string() : path);
    Write(dir + "/memory.max", max + "\n");
    Write(dir + "/memory.current", std::to_string(current) + "\n");
    Write(dir + "/memory.stat",
          "anon 8192\nfile 4096\ninactive_anon 3\nactive_anon 4\n"
          "inactive_file " +
              std::to_string(inactiveFile) + "\nactive_file 2\n");
}

void FakeMemoryInfo::LeaveRoomFor(std::uint64_t bytes) {
    Cgroups("/", "/lumvane");
    V2Group("/lumvane", std::to_string(bytes + kMemoryReserve + 1000), 1000);
}
