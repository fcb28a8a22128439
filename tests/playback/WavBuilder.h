#pragma once

// Builds WAV files byte by byte for the tests.
#include <QFile>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace wav {

using Bytes = std::vector<unsigned char>;

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void PutId(Bytes& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
}

// A chunk with its pad byte; size < 0 writes the body's own size.
inline Bytes Chunk(const char* id, const Bytes& body, long long size = -1) {
    Bytes r;
    PutId(r, id);
    Put32(r, size < 0 ? static_cast<std::uint32_t>(body.size()) : static_cast<std::uint32_t>(size));
    r.insert(r.end(), body.begin(), body.end());
    if (body.size() & 1) r.push_back(0);
    return r;
}

inline Bytes Riff(const Bytes& inner, const char* form = "WAVE", long long size = -1) {
    Bytes r;
    PutId(r, "RIFF");
    Put32(r, size < 0 ? static_cast<std::uint32_t>(inner.size() + 4)
                      : static_cast<std::uint32_t>(size));
    PutId(r, form);
    r.insert(r.end(), inner.begin(), inner.end());
    return r;
}

// A format block: tag, channels, rate, average bytes per second, block align, bits, then
// zeros up to size (shorter sizes cut it).
inline Bytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                 std::size_t size = 16) {
    Bytes r;
    Put16(r, tag);
    Put16(r, channels);
    Put32(r, rate);
    const std::uint32_t align = channels * ((bits + 7u) / 8u);
    Put32(r, rate * align);
    Put16(r, align);
    Put16(r, bits);
    r.resize(size, 0);
    return r;
}

// Pseudo-random samples that never equal the silence value 128.
inline Bytes Samples(std::size_t n, std::uint32_t seed = 12345) {
    Bytes r(n);
    std::uint32_t x = seed ? seed : 1;
    for (auto& v : r) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<unsigned char>(x >> 24);
        if (v == 128) v = 129;
    }
    return r;
}

// An 8-bit mono PCM file with these samples.
inline Bytes Pcm8(std::uint32_t rate, const Bytes& samples) {
    return Riff(Cat({Chunk("fmt ", Fmt(1, 1, rate, 8)), Chunk("data", samples)}));
}

inline bool Write(const QString& path, const Bytes& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
           qint64(bytes.size());
}

}  // namespace wav
