#include "export/VideoEncoderPlan.h"

#include <algorithm>
#include <thread>

#include "raster/GrayImage.h"

namespace {
constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
// What the held-back frames and the threads' work areas may take before they are cut down.
constexpr std::uint64_t kLookaheadBudget = 512 * kMB;
constexpr std::uint64_t kThreadBudget = 1024 * kMB;

// Bytes per pixel, measured with Debian 12's libx264 164 and libvpx 1.12 at 4, 16 and 100
// megapixels (peak resident size), rounded up.
constexpr std::uint64_t kPicture = 2;        // the picture handed to the encoder
constexpr std::uint64_t kX264PerFrame = 12;  // a frame in flight: picture, lowres, analysis
constexpr std::uint64_t kVp9Base = 72;       // tokens, references, analysis of one frame
constexpr std::uint64_t kVp9PerLag = 3;      // a frame in the lookahead, with its borders
constexpr std::uint64_t kVp9PerThread = 8 * kMB;
constexpr std::uint64_t kFixed = 128 * kMB;  // the libraries' own, the muxer, the sound

int Clamp(std::uint64_t v, int lo, int hi) {
    return static_cast<int>(std::clamp<std::uint64_t>(v, static_cast<std::uint64_t>(lo),
                                                      static_cast<std::uint64_t>(hi)));
}
}  // namespace

VideoEncoderPlan PlanVideoEncoder(MovieFormat format, int width, int height, int count, int cores) {
    VideoEncoderPlan plan;
    const std::uint64_t pixels = static_cast<std::uint64_t>(std::max(width, 1)) *
                                 static_cast<std::uint64_t>(std::max(height, 1));
    const auto frames = static_cast<std::uint64_t>(std::max(count, 1));
    cores = std::max(cores, 1);
    if (format == MovieFormat::WebM) {
        // libvpx's default lag is 25; tiles are at least 256 pixels wide, at most 64.
        plan.lookahead = Clamp(kLookaheadBudget / (kVp9PerLag * pixels), 0, 25);
        int log2 = 0;
        while (log2 < 6 && (256 << (log2 + 1)) <= width) ++log2;
        plan.tileColumnsLog2 = log2;
        plan.threads = std::min(cores, 16);
        plan.bytes = kFixed + pixels * (kPicture + kVp9Base + kVp9PerLag * plan.lookahead) +
                     kVp9PerThread * static_cast<std::uint64_t>(plan.threads);
        return plan;
    }
    // x264's own choices are 1.5 threads a core and a lookahead of 40 (preset medium); a frame
    // is in flight for each thread, for every second one of the lookahead and a few references.
    plan.threads = Clamp(kThreadBudget / (kX264PerFrame * pixels), 1, (3 * cores + 1) / 2);
    plan.lookahead = Clamp(2 * kLookaheadBudget / (kX264PerFrame * pixels), 1, 40);
    const std::uint64_t inFlight = 3 + static_cast<std::uint64_t>(plan.threads) +
                                   (static_cast<std::uint64_t>(plan.lookahead) + 1) / 2;
    plan.bytes = kFixed + pixels * (kPicture + kX264PerFrame * std::min(frames, inFlight));
    return plan;
}

VideoEncoderPlan PlanVideoEncoder(const MovieSource& source, const MovieSettings& settings) {
    const MovieFrame* first = source.frames.empty() ? nullptr : &source.frames.front();
    // The encoders want even sizes.
    const int width = first ? (first->GetWidth() + 1) & ~1 : 0;
    const int height = first ? (first->GetHeight() + 1) & ~1 : 0;
    return PlanVideoEncoder(settings.format, width, height, static_cast<int>(source.frames.size()),
                            static_cast<int>(std::thread::hardware_concurrency()));
}
