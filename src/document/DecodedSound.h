#pragma once

#include <cstdint>
#include <vector>

// A sound track decoded from any sound or video file: signed 16-bit samples, the channels of
// one sample frame next to each other, at the file's own rate.
struct DecodedSound {
    int rate = 0;      // sample frames per second
    int channels = 0;  // 1 or 2
    std::vector<std::int16_t> samples;

    std::int64_t Frames() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
    int BlockAlign() const { return channels * 2; }
};

// The "fmt " chunk body that describes such a track to the wave output: PCM, 16 bits.
inline std::vector<unsigned char> DecodedSoundFormat(int rate, int channels) {
    const std::uint32_t r = static_cast<std::uint32_t>(rate);
    const std::uint32_t bytes = r * static_cast<std::uint32_t>(channels) * 2;
    const unsigned block = static_cast<unsigned>(channels) * 2;
    return {1,
            0,
            static_cast<unsigned char>(channels),
            0,
            static_cast<unsigned char>(r),
            static_cast<unsigned char>(r >> 8),
            static_cast<unsigned char>(r >> 16),
            static_cast<unsigned char>(r >> 24),
            static_cast<unsigned char>(bytes),
            static_cast<unsigned char>(bytes >> 8),
            static_cast<unsigned char>(bytes >> 16),
            static_cast<unsigned char>(bytes >> 24),
            static_cast<unsigned char>(block),
            0,
            16,
            0};
}
