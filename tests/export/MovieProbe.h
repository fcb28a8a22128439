#pragma once

// Reads a written movie back through FFmpeg's own demuxers and decoders, as a player would.
#include <cstdint>
#include <string>
#include <vector>

struct ProbedStream {
    bool present = false;
    std::string codec;
    int timeBaseNum = 0;
    int timeBaseDen = 1;
    int rateNum = 0;  // average frame rate
    int rateDen = 1;
    std::int64_t firstPts = 0;  // of the first decoded frame, in the time base
    std::int64_t end = 0;       // the latest packet end (pts + duration), in the time base
    std::vector<std::int64_t> durations;  // of the packets, in the time base
    // video
    int width = 0;
    int height = 0;
    int range = 0;  // AVColorRange, AVColorPrimaries, ...
    int primaries = 0;
    int transfer = 0;
    int matrix = 0;
    std::string pixelFormat;
    // audio
    int sampleRate = 0;
    int channels = 0;
    int frameSize = 0;
    int profile = -99;
};

struct ProbedMovie {
    std::string error;  // empty when everything could be read
    ProbedStream video;
    ProbedStream audio;
    std::vector<std::vector<unsigned char>> frames;  // gray 0..255, top row first, full frame
    std::vector<float> samples;                      // mono -1..1
};

ProbedMovie ProbeMovie(const std::string& path);
