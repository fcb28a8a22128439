#pragma once

// Run-length coding of pixel buffers as 5-byte runs: one value byte, then the run's length as
// a 32-bit little-endian count.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace raster {

constexpr std::size_t kRunBytes = 5;
// The longest run the writer emits; longer stretches are split into runs of this length.
constexpr std::uint32_t kMaxRunLength = 0x7FFFFFFE;

namespace detail {
inline std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
// Index of the first byte that differs, given a non-zero XOR of two words.
inline std::size_t FirstDiff(std::uint64_t x) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(x)) >> 3;
    else
        return static_cast<std::size_t>(std::countl_zero(x)) >> 3;
}
}  // namespace detail

// End of the stretch of bytes equal to p[i] that starts at i (i < n), compared a word at a
// time so that blank stretches cost about as much as reading them.
inline std::size_t RunEnd(const unsigned char* p, std::size_t i, std::size_t n) {
    const unsigned char v = p[i];
    ++i;
    if (i == n || p[i] != v) return i;  // runs of one pixel are common in soft edges
    const std::uint64_t pattern = 0x0101010101010101ull * v;
    while (n - i >= 32) {
        const std::uint64_t a = detail::Load64(p + i) ^ pattern;
        const std::uint64_t b = detail::Load64(p + i + 8) ^ pattern;
        const std::uint64_t c = detail::Load64(p + i + 16) ^ pattern;
        const std::uint64_t d = detail::Load64(p + i + 24) ^ pattern;
        if ((a | b | c | d) != 0) {
            if (a) return i + detail::FirstDiff(a);
            if (b) return i + 8 + detail::FirstDiff(b);
            if (c) return i + 16 + detail::FirstDiff(c);
            return i + 24 + detail::FirstDiff(d);
        }
        i += 32;
    }
    while (n - i >= 8) {
        const std::uint64_t a = detail::Load64(p + i) ^ pattern;
        if (a) return i + detail::FirstDiff(a);
        i += 8;
    }
    while (i < n && p[i] == v) ++i;
    return i;
}

// Writes value into len bytes at dst.
inline void FillRun(unsigned char* dst, unsigned char value, std::uint32_t len) {
    if (len <= 16) {
        // Short runs are common in line art; a call to memset costs more than they do.
        for (std::uint32_t k = 0; k < len; ++k) dst[k] = value;
    } else {
        std::memset(dst, value, len);
    }
}

inline std::uint32_t GetRunLength(const unsigned char* run) {
    return static_cast<std::uint32_t>(run[1]) | (static_cast<std::uint32_t>(run[2]) << 8) |
           (static_cast<std::uint32_t>(run[3]) << 16) | (static_cast<std::uint32_t>(run[4]) << 24);
}

inline void PutRun(unsigned char* out, unsigned char value, std::uint32_t count) {
    out[0] = value;
    out[1] = static_cast<unsigned char>(count);
    out[2] = static_cast<unsigned char>(count >> 8);
    out[3] = static_cast<unsigned char>(count >> 16);
    out[4] = static_cast<unsigned char>(count >> 24);
}

// Encodes a buffer in pieces: each call fills an output block with whole runs. Runs are the
// longest stretches of equal bytes, split into runs of maxRun where longer.
class RunEncoder {
  public:
    RunEncoder(const unsigned char* pixels, std::size_t count, std::uint32_t maxRun = kMaxRunLength)
        : m_pixels(pixels), m_count(count), m_maxRun(maxRun ? maxRun : 1) {}

    bool Done() const { return m_pos >= m_count && m_pending == 0; }

    // Writes whole runs into out (room >= kRunBytes); returns the bytes written, 0 when done.
    std::size_t Encode(unsigned char* out, std::size_t room) {
        unsigned char* o = out;
        unsigned char* const end = out + room - (room % kRunBytes);
        while (o != end) {
            if (m_pending == 0) {
                if (m_pos >= m_count) break;
                m_value = m_pixels[m_pos];
                const std::size_t stop = RunEnd(m_pixels, m_pos, m_count);
                m_pending = stop - m_pos;
                m_pos = stop;
            }
            const std::uint32_t n =
                m_pending > m_maxRun ? m_maxRun : static_cast<std::uint32_t>(m_pending);
            PutRun(o, m_value, n);
            o += kRunBytes;
            m_pending -= n;
        }
        return static_cast<std::size_t>(o - out);
    }

  private:
    const unsigned char* m_pixels;
    std::size_t m_count;
    std::uint32_t m_maxRun;
    std::size_t m_pos = 0;      // first pixel not yet taken into a run
    std::size_t m_pending = 0;  // pixels of the current stretch not yet written
    unsigned char m_value = 0;
};

// Decodes runs into a buffer of a known size, fed with the bytes in any pieces. Runs of
// length 0 add nothing; a run that passes the end of the buffer is an error and writes nothing.
class RunDecoder {
  public:
    RunDecoder(unsigned char* pixels, std::size_t count) : m_pixels(pixels), m_count(count) {}

    bool Done() const { return m_pos == m_count && m_partial == 0; }
    bool Failed() const { return m_failed; }

    // Consumes bytes up to the end of the buffer's last run; returns how many were used.
    // Stops early, with Failed() set, at a run that passes the end.
    std::size_t Feed(const unsigned char* data, std::size_t n) {
        if (m_failed) return 0;
        const unsigned char* p = data;
        const unsigned char* const end = data + n;
        if (m_partial != 0) {
            while (m_partial < kRunBytes && p != end) m_held[m_partial++] = *p++;
            if (m_partial < kRunBytes) return n;
            m_partial = 0;
            if (!Apply(m_held)) return static_cast<std::size_t>(p - data);
        }
        while (m_pos < m_count && static_cast<std::size_t>(end - p) >= kRunBytes) {
            if (!Apply(p)) return static_cast<std::size_t>(p - data);
            p += kRunBytes;
        }
        if (m_pos < m_count) {
            while (p != end) m_held[m_partial++] = *p++;
        }
        return static_cast<std::size_t>(p - data);
    }

  private:
    bool Apply(const unsigned char* run) {
        const std::uint32_t len = GetRunLength(run);
        if (len > m_count - m_pos) {
            m_failed = true;
            return false;
        }
        FillRun(m_pixels + m_pos, run[0], len);
        m_pos += len;
        return true;
    }

    unsigned char* m_pixels;
    std::size_t m_count;
    std::size_t m_pos = 0;
    unsigned char m_held[kRunBytes] = {};
    std::size_t m_partial = 0;
    bool m_failed = false;
};

}  // namespace raster
