#pragma once

#include <cstdint>

#include "export/MovieExport.h"

// How the H.264 and VP9 encoders are set up for a frame size, and what they then need. The
// encoders hold frames back (x264's rate lookahead, VP9's lag for its alternate reference
// frames) and keep per-thread work areas, each of frame size: at the defaults a frame of
// 10004 x 10000 would need over 10 GB. Large frames get fewer of both; small ones keep the
// encoders' defaults. The choice depends on the frame and the cores only, never on the memory
// free at the time, so one animation always gives the same movie on one machine.
struct VideoEncoderPlan {
    int threads = 1;
    int lookahead = 0;        // x264's rc-lookahead, VP9's lag-in-frames
    int tileColumnsLog2 = 0;  // VP9
    std::uint64_t bytes = 0;  // the encoder's peak need, with its picture and packets
};

// For frames of width x height (the encoder's even size), count of them, on cores cores.
VideoEncoderPlan PlanVideoEncoder(MovieFormat format, int width, int height, int count, int cores);
// For the frames of a movie on this machine's cores.
VideoEncoderPlan PlanVideoEncoder(const MovieSource& source, const MovieSettings& settings);
