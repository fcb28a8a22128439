#include "framework/Archive.h"

#include <QFileDevice>
#include <QIODevice>
#include <cerrno>

CArchive::CArchive(QIODevice* device, Mode mode, std::size_t bufferSize)
    : m_pDevice(device), m_mode(mode), m_buffer(bufferSize ? bufferSize : 1) {
    m_cur = m_buffer.data();
    // Storing fills the buffer up to its end; loading starts with nothing buffered.
    m_end = mode == store ? m_buffer.data() + m_buffer.size() : m_buffer.data();
}

CArchive::~CArchive() = default;

static int LastOsError() {
    return errno;
}

void CArchive::Flush() {
    if (m_mode != store) return;
    const std::size_t n = static_cast<std::size_t>(m_cur - m_buffer.data());
    const unsigned char* p = m_buffer.data();
    std::size_t left = n;
    while (left > 0) {
        errno = 0;
        const qint64 w = m_pDevice->write(reinterpret_cast<const char*>(p), left);
        if (w <= 0) throw CArchiveException(CArchiveException::writeFailed, LastOsError());
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    m_nDeviceBytes += n;
    m_cur = m_buffer.data();
}

void CArchive::WriteSlow(const void* data, std::size_t n) {
    const unsigned char* src = static_cast<const unsigned char*>(data);
    while (n > 0) {
        std::size_t room = static_cast<std::size_t>(m_end - m_cur);
        if (room == 0) {
            Flush();
            room = m_buffer.size();
        }
        const std::size_t k = n < room ? n : room;
        std::memcpy(m_cur, src, k);
        m_cur += k;
        src += k;
        n -= k;
    }
}

bool CArchive::Refill() {
    if (m_bEof) return false;
    errno = 0;
    const qint64 r = m_pDevice->read(reinterpret_cast<char*>(m_buffer.data()),
                                     static_cast<qint64>(m_buffer.size()));
    if (r < 0) throw CArchiveException(CArchiveException::readFailed, LastOsError());
    if (r == 0) {
        m_bEof = true;
        return false;
    }
    m_cur = m_buffer.data();
    m_end = m_cur + r;
    m_nDeviceBytes += static_cast<std::uint64_t>(r);
    return true;
}

std::size_t CArchive::ReadSlow(void* data, std::size_t n) {
    unsigned char* dst = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < n) {
        std::size_t avail = static_cast<std::size_t>(m_end - m_cur);
        if (avail == 0) {
            if (!Refill()) break;
            avail = static_cast<std::size_t>(m_end - m_cur);
        }
        const std::size_t k = (n - done) < avail ? (n - done) : avail;
        std::memcpy(dst + done, m_cur, k);
        m_cur += k;
        done += k;
    }
    return done;
}

std::uint64_t CArchive::Position() const {
    if (m_mode == store)
        return m_nDeviceBytes + static_cast<std::uint64_t>(m_cur - m_buffer.data());
    return m_nDeviceBytes - static_cast<std::uint64_t>(m_end - m_cur);
}

std::int64_t CArchive::BytesLeft() const {
    if (m_mode != load || m_pDevice->isSequential()) return -1;
    const qint64 rest = m_pDevice->size() - m_pDevice->pos();
    return rest < 0 ? -1 : rest + static_cast<std::int64_t>(m_end - m_cur);
}
