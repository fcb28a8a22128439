#pragma once

#include <cstdint>

// Frames to sample frames of a sound track (bytes of an 8-bit mono one): frame f starts at
// f x rate / fps, and c frames cover c x rate / fps, each one product divided by the rate so that
// no rounding builds up over frames. 64-bit: a long track at a high rate overflows 32 bits.
inline std::int64_t SoundBytesOfFrames(std::int64_t frames, std::int64_t rate, int fps) {
    return frames * rate / fps;
}

// The part of a track of trackBytes sample frames that plays for frames first .. first + count - 1,
// cut at the end of the track; empty (length 0) when it starts outside the track.
struct SoundSlice {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};
inline SoundSlice SoundSliceOfFrames(int first, int count, std::int64_t rate, int fps,
                                     std::int64_t trackBytes) {
    SoundSlice s;
    if (fps <= 0 || rate <= 0 || count <= 0) return s;
    const std::int64_t offset = SoundBytesOfFrames(first, rate, fps);
    // A negative offset (negative first) would point before the samples.
    if (offset < 0 || offset >= trackBytes) return s;
    std::int64_t length = SoundBytesOfFrames(count, rate, fps);
    if (length > trackBytes - offset) length = trackBytes - offset;
    if (length <= 0) return s;
    s.offset = offset;
    s.length = length;
    return s;
}
