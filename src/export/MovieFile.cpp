#include "export/MovieFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>

MovieFile::MovieFile(const QString& target) : m_target(target) {}

MovieFile::~MovieFile() {
    Discard();
}

bool MovieFile::Open() {
    const QFileInfo info(m_target);
    // Beside the target, so that the rename stays on one file system.
    const QString prefix = info.path() + QStringLiteral("/.") + info.fileName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            prefix + QStringLiteral(".%1.part")
                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        // 0666 and the umask give the permissions of any new file of this user.
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = name;
            return true;
        }
        if (errno != EEXIST) {
            Fail(errno);
            return false;
        }
    }
    Fail(EEXIST);
    return false;
}

void MovieFile::Fail(int error) {
    if (m_errno == 0) m_errno = error ? error : EIO;
}

bool MovieFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0 || m_errno) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        // A write that takes nothing without an error would loop for ever: call it a full disk.
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t MovieFile::Seek(std::int64_t offset, int whence) {
    if (m_fd < 0) return -1;
    const off_t at = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    return at < 0 ? -1 : static_cast<std::int64_t>(at);
}

std::int64_t MovieFile::Size() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t MovieFile::ReadAt(std::int64_t position, void* data, std::size_t size) const {
    if (m_fd < 0) return -1;
    for (;;) {
        const ssize_t n = ::pread(m_fd, data, size, static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool MovieFile::Commit() {
    if (m_fd < 0 || m_errno) {
        Discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    // Delayed write errors (NFS, quotas) show up at close.
    if (::close(fd) != 0) Fail(errno);
    if (!m_errno && ::rename(QFile::encodeName(m_temp).constData(),
                             QFile::encodeName(m_target).constData()) != 0)
        Fail(errno);
    if (m_errno) {
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void MovieFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(QFile::encodeName(m_temp).constData());
        m_temp.clear();
    }
}
