#pragma once

// Runs a piece of a test in a forked child, so that resource limits, a private mount or a
// crash stay there. The child reports what it saw as text; the parent compares it.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <cstdio>
#include <functional>
#include <string>

#include "framework/Process.h"

struct ChildResult {
    bool exited = false;  // false: killed by a signal
    int code = -1;        // exit status, or the signal
    std::string report;
    // "exit 0", "exit 3" or "signal 6", for messages.
    std::string How() const { return (exited ? "exit " : "signal ") + std::to_string(code); }
};

// Forks; the child runs body and exits with 0, sending body's text back. A crash or abort in
// the child comes back as its signal, an exception out of body as exit status 4.
inline ChildResult RunInChild(const std::function<std::string()>& body) {
    ChildResult r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return r;
    if (pid == 0) {
        close(fds[0]);
        std::string text;
        try {
            text = body();
        } catch (...) {
            // Never let the child go on as a copy of the test runner.
            _exit(4);
        }
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t w = write(fds[1], text.data() + done, text.size() - done);
            if (w <= 0) _exit(3);
            done += static_cast<std::size_t>(w);
        }
        close(fds[1]);
        _exit(0);  // no static destructors of the parent's objects
    }
    close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        r.report.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exited = WIFEXITED(status);
    r.code = r.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    return r;
}

// In a child set up as the program starts (AfxInitProcess): files past `bytes` cannot be
// written. The program's own start-up decides whether a write past the limit fails or ends
// the process; the test does not.
inline void LimitFileSize(rlim_t bytes) {
    AfxInitProcess();
    const rlimit lim{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &lim);
}

// In a child: a tmpfs of `bytes` mounted on dir in a mount namespace of the child's own, so it
// disappears with the child. False where mounting is not permitted (not root, no namespaces).
inline bool MountTinyDisk(const char* dir, std::size_t bytes) {
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    const std::string opts = "size=" + std::to_string(bytes);
    return mount("tmpfs", dir, "tmpfs", 0, opts.c_str()) == 0;
}

// Whether this process may mount a private tmpfs (checked in a child).
inline bool CanMountTinyDisk(const char* dir) {
    return RunInChild([dir] {
               return std::string(MountTinyDisk(dir, 65536) ? "yes" : "no");
           }).report == "yes";
}

// In a child: no more than `extra` bytes of address space beyond what is mapped now.
inline bool LimitAddressSpace(rlim_t extra) {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return false;
    unsigned long pages = 0;
    const bool ok = std::fscanf(f, "%lu", &pages) == 1;
    std::fclose(f);
    if (!ok) return false;
    const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit lim{now + extra, now + extra};
    return setrlimit(RLIMIT_AS, &lim) == 0;
}

// AddressSanitizer reserves terabytes of address space; address-space limits cannot hold
// under it.
#if defined(__SANITIZE_ADDRESS__)
#define LUMVANE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMVANE_UNDER_ASAN 1
#endif
#endif
#ifndef LUMVANE_UNDER_ASAN
#define LUMVANE_UNDER_ASAN 0
#endif
