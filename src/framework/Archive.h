#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

class QIODevice;
class CDocument;

// Thrown by CArchive; the document's open and save paths turn it into a message.
class CArchiveException : public std::exception {
  public:
    enum Cause { endOfFile = 1, badFormat, writeFailed, readFailed, noMemory };
    CArchiveException(Cause cause, int osError = 0) : m_cause(cause), m_nOsError(osError) {}
    const char* what() const noexcept override { return "archive error"; }
    Cause m_cause;
    int m_nOsError;  // errno of a failed read or write, 0 when none
};

// Little-endian binary stream over a device, loading or storing, with its own buffer so
// that small reads and writes cost no device call.
class CArchive {
  public:
    enum Mode { store = 0, load = 1 };
    CArchive(QIODevice* device, Mode mode, std::size_t bufferSize = 1 << 16);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }

    CArchive& operator<<(std::int32_t v) {
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16),
                              static_cast<unsigned char>(v >> 24)};
        Write(b, 4);
        return *this;
    }
    CArchive& operator<<(std::uint32_t v) { return *this << static_cast<std::int32_t>(v); }
    CArchive& operator<<(std::uint8_t v) {
        Write(&v, 1);
        return *this;
    }
    CArchive& operator>>(std::int32_t& v) {
        unsigned char b[4];
        ReadExact(b, 4);
        v = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
        return *this;
    }
    CArchive& operator>>(std::uint32_t& v) {
        std::int32_t s;
        *this >> s;
        v = static_cast<std::uint32_t>(s);
        return *this;
    }
    CArchive& operator>>(std::uint8_t& v) {
        ReadExact(&v, 1);
        return *this;
    }

    void Write(const void* data, std::size_t n) {
        if (n <= static_cast<std::size_t>(m_end - m_cur)) {
            std::memcpy(m_cur, data, n);
            m_cur += n;
        } else {
            WriteSlow(data, n);
        }
    }
    // Reads up to n bytes; returns how many were read (fewer only at the end of the data).
    std::size_t Read(void* data, std::size_t n) {
        if (n <= static_cast<std::size_t>(m_end - m_cur)) {
            std::memcpy(data, m_cur, n);
            m_cur += n;
            return n;
        }
        return ReadSlow(data, n);
    }
    // Reads exactly n bytes or throws endOfFile.
    void ReadExact(void* data, std::size_t n) {
        if (Read(data, n) != n) throw CArchiveException(CArchiveException::endOfFile);
    }

    // Loading in bulk: the buffered bytes not yet consumed, refilled from the device when none
    // are left (0 at the end of the data). Parse them in place, then Consume what was used.
    std::size_t Peek(const unsigned char** data) {
        if (m_cur == m_end && !Refill()) return 0;
        *data = m_cur;
        return static_cast<std::size_t>(m_end - m_cur);
    }
    void Consume(std::size_t n) {
        m_cur += n < static_cast<std::size_t>(m_end - m_cur)
                     ? n
                     : static_cast<std::size_t>(m_end - m_cur);
    }

    // Writes out what is buffered; throws writeFailed on a device error.
    void Flush();
    // Bytes consumed (loading) or produced (storing) so far.
    std::uint64_t Position() const;
    // Loading: bytes from here to the end of the data, or -1 when the device cannot tell.
    std::int64_t BytesLeft() const;

    CDocument* m_pDocument = nullptr;

  private:
    void WriteSlow(const void* data, std::size_t n);
    std::size_t ReadSlow(void* data, std::size_t n);
    bool Refill();

    QIODevice* m_pDevice;
    Mode m_mode;
    std::vector<unsigned char> m_buffer;
    unsigned char* m_cur;
    unsigned char* m_end;
    std::uint64_t m_nDeviceBytes = 0;  // bytes moved to or from the device
    bool m_bEof = false;
};
