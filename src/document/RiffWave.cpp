#include "document/RiffWave.h"

#include <climits>
#include <cstring>

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool IdIs(const unsigned char* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// Finds the first chunk with that id whose header starts in [pos, end); chunk bodies are
// skipped with their pad byte. Positions are 64-bit so that no size can wrap them. Returns
// the header position, or -1 when a header would cross end or no chunk matches.
long long FindChunk(const unsigned char* bytes, unsigned long long pos, unsigned long long end,
                    const char* id, const char* formType = nullptr) {
    while (pos + 8 <= end) {
        const unsigned char* h = bytes + pos;
        const unsigned long long body = Le32(h + 4);
        if (IdIs(h, id) && (!formType || (pos + 12 <= end && IdIs(h + 8, formType))))
            return static_cast<long long>(pos);
        pos += 8 + body + (body & 1);
    }
    return -1;
}

}  // namespace

bool ReadWaveFormat(const unsigned char* fmt, std::size_t size, WaveFormatFields& out) {
    if (!fmt || size < 16) return false;
    out.formatTag = Le16(fmt);
    out.channels = Le16(fmt + 2);
    out.samplesPerSec = Le32(fmt + 4);
    out.bitsPerSample = Le16(fmt + 14);
    return true;
}

WaveLayout ParseWave(const unsigned char* bytes, std::size_t size) {
    WaveLayout r;
    if (!bytes) size = 0;
    const unsigned long long fileEnd = size;

    const long long riff = FindChunk(bytes, 0, fileEnd, "RIFF", "WAVE");
    if (riff < 0) {
        r.format = WaveCheck::NotWave;
        return r;
    }
    const unsigned long long riffBody = static_cast<unsigned long long>(riff) + 8;
    const unsigned long long riffEnd = riffBody + Le32(bytes + riff + 4);
    r.format = WaveCheck::Corrupt;
    if (riffEnd > fileEnd || riffEnd < riffBody + 4) return r;

    const long long fmt = FindChunk(bytes, riffBody + 4, riffEnd, "fmt ");
    if (fmt < 0) return r;
    const unsigned long long fmtBody = static_cast<unsigned long long>(fmt) + 8;
    const unsigned long long fmtSize = Le32(bytes + fmt + 4);
    if (fmtBody + fmtSize > riffEnd) return r;
    r.fmtOffset = static_cast<std::size_t>(fmtBody);
    r.fmtSize = static_cast<std::size_t>(fmtSize);

    WaveFormatFields f;
    if (!ReadWaveFormat(bytes + fmtBody, r.fmtSize, f) || f.formatTag != 1 || f.channels != 1 ||
        f.bitsPerSample != 8) {
        r.format = WaveCheck::Unsupported;
        return r;
    }
    r.format = WaveCheck::Ok;

    const long long data = FindChunk(bytes, fmtBody + fmtSize + (fmtSize & 1), riffEnd, "data");
    if (data < 0) {
        r.data = WaveCheck::Corrupt;
        return r;
    }
    r.dataFound = true;
    const unsigned long long dataBody = static_cast<unsigned long long>(data) + 8;
    const unsigned long long dataSize = Le32(bytes + data + 4);
    r.dataOffset = static_cast<std::size_t>(dataBody);
    r.dataSize = static_cast<std::size_t>(dataSize);
    if (dataSize == 0)
        r.data = WaveCheck::Empty;
    else if (dataBody + dataSize > riffEnd)
        r.data = WaveCheck::Corrupt;
    else if (dataSize > static_cast<unsigned long long>(INT_MAX))
        r.data = WaveCheck::Unsupported;
    else
        r.data = WaveCheck::Ok;
    return r;
}
