#include "framework/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

RegularFileOpen AfxOpenRegularFile(QFile& file, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) return RegularFileOpen::Failed;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return RegularFileOpen::Failed;
    }
    if (!S_ISREG(st.st_mode)) return RegularFileOpen::NotRegular;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return RegularFileOpen::Failed;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return RegularFileOpen::NotRegular;
    }
    // Reads of a regular file never wait anyway; plain blocking mode as any open gives.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return RegularFileOpen::Failed;
    }
    return RegularFileOpen::Opened;
}

bool IsSameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (a.isEmpty() || b.isEmpty()) return false;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
