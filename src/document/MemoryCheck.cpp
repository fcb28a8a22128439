#include "document/MemoryCheck.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace {
std::mutex g_rootsMutex;
std::string g_procRoot = "/proc";
std::string g_sysRoot = "/sys";

// Limits at or above this mean none: cgroup v1 writes its "unlimited" as 2^63 less a page.
constexpr std::uint64_t kNoLimit = std::uint64_t{1} << 60;

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// A file holding one number; false for "max", an empty file or one that cannot be read.
bool ReadNumber(const std::string& path, std::uint64_t& value) {
    std::ifstream in(path);
    unsigned long long v = 0;
    if (!(in >> v)) return false;
    value = v;
    return true;
}

// The value of "key value" (or "key: value") in a file of such lines.
bool ReadKey(const std::string& path, const std::string& key, std::uint64_t& value) {
    std::ifstream in(path);
    std::string name;
    unsigned long long v = 0;
    while (in >> name >> v) {
        if (name == key || name == key + ":") {
            value = v;
            return true;
        }
        in.ignore(1 << 16, '\n');  // a unit such as "kB"
    }
    return false;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

// MemAvailable + SwapFree in bytes, or kMemoryUnknown.
std::uint64_t SystemAvailable(const std::string& proc) {
    const std::string path = proc + "/meminfo";
    std::uint64_t avail = 0;
    std::uint64_t swap = 0;
    // Kernels before 3.14 have no MemAvailable; what is free then is the least there is.
    if (!ReadKey(path, "MemAvailable", avail) && !ReadKey(path, "MemFree", avail))
        return kMemoryUnknown;
    ReadKey(path, "SwapFree", swap);
    return (avail + swap) * 1024;
}

struct Hierarchy {
    bool v2 = false;
    std::string path;       // the process's cgroup, from /proc/self/cgroup
    std::string mountRoot;  // the cgroup the mount shows at its mount point
    std::string mountPoint;
};

// Room left under the limits of dir and of every cgroup above it up to the mount point.
std::uint64_t RoomUnder(const Hierarchy& h, std::string dir) {
    const char* limitFile = h.v2 ? "/memory.max" : "/memory.limit_in_bytes";
    const char* usageFile = h.v2 ? "/memory.current" : "/memory.usage_in_bytes";
    // File pages not used lately are given back before the kernel kills for memory.
    const char* reclaimable = h.v2 ? "inactive_file" : "total_inactive_file";
    std::uint64_t room = kMemoryUnknown;
    for (;;) {
        std::uint64_t limit = 0;
        if (ReadNumber(dir + limitFile, limit) && limit < kNoLimit) {
            std::uint64_t usage = 0;
            std::uint64_t cache = 0;
            ReadNumber(dir + usageFile, usage);
            ReadKey(dir + "/memory.stat", reclaimable, cache);
            const std::uint64_t used = usage > cache ? usage - cache : 0;
            room = std::min(room, limit > used ? limit - used : 0);
        }
        if (dir.size() <= h.mountPoint.size()) break;
        dir.resize(dir.rfind('/'));
    }
    return room;
}

std::uint64_t CgroupAvailable(const std::string& proc, const std::string& sys) {
    std::string text;
    if (!ReadText(proc + "/self/cgroup", text)) return kMemoryUnknown;
    // Lines "id:controllers:path": v1 names the memory controller, v2 is "0::path".
    std::vector<Hierarchy> found;
    for (const std::string& line : Split(text, '\n')) {
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        Hierarchy h;
        h.path = line.substr(b + 1);
        if (line.substr(0, a) == "0" && controllers.empty()) {
            h.v2 = true;
        } else {
            const std::vector<std::string> names = Split(controllers, ',');
            if (std::find(names.begin(), names.end(), "memory") == names.end()) continue;
        }
        found.push_back(h);
    }

    // Where each hierarchy is mounted: "... root mountpoint options ... - type source super";
    // without the file, where systems usually mount them.
    std::string mounts;
    if (!ReadText(proc + "/self/mountinfo", mounts))
        mounts =
            "0 0 0:0 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"
            "0 0 0:0 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
    std::uint64_t room = kMemoryUnknown;
    for (Hierarchy& h : found) {
        bool mounted = false;
        for (const std::string& line : Split(mounts, '\n')) {
            std::vector<std::string> f = Split(line, ' ');
            const auto dash = std::find(f.begin(), f.end(), "-");
            if (f.size() < 5 || dash == f.end() || f.end() - dash < 4) continue;
            const std::string& type = dash[1];
            const std::vector<std::string> super = Split(dash[3], ',');
            const bool memory = std::find(super.begin(), super.end(), "memory") != super.end();
            if (h.v2 ? type != "cgroup2" : (type != "cgroup" || !memory)) continue;
            h.mountRoot = f[3];
            h.mountPoint = f[4];
            mounted = true;
            break;
        }
        if (!mounted) continue;
        // Only the cgroups the mount shows can be read.
        std::string rel;
        if (h.mountRoot == "/") {
            rel = h.path == "/" ? std::string() : h.path;
        } else if (h.path.compare(0, h.mountRoot.size(), h.mountRoot) == 0 &&
                   (h.path.size() == h.mountRoot.size() || h.path[h.mountRoot.size()] == '/')) {
            rel = h.path.substr(h.mountRoot.size());
        } else {
            continue;
        }
        if (h.mountPoint.compare(0, 4, "/sys") == 0 &&
            (h.mountPoint.size() == 4 || h.mountPoint[4] == '/'))
            h.mountPoint = sys + h.mountPoint.substr(4);
        room = std::min(room, RoomUnder(h, h.mountPoint + rel));
    }
    return room;
}
}  // namespace

void SetMemoryInfoRoots(const std::string& proc, const std::string& sys) {
    std::lock_guard<std::mutex> lock(g_rootsMutex);
    g_procRoot = proc.empty() ? "/proc" : proc;
    g_sysRoot = sys.empty() ? "/sys" : sys;
}

std::uint64_t AvailableMemory() {
    std::string proc;
    std::string sys;
    {
        std::lock_guard<std::mutex> lock(g_rootsMutex);
        proc = g_procRoot;
        sys = g_sysRoot;
    }
    return std::min(SystemAvailable(proc), CgroupAvailable(proc, sys));
}

bool MemoryFits(std::uint64_t bytes) {
    const std::uint64_t available = AvailableMemory();
    if (available == kMemoryUnknown) return true;
    return available >= kMemoryReserve && bytes <= available - kMemoryReserve;
}

std::uint64_t ImageBytes(std::uint64_t count, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return count * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
}
