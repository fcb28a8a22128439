// An 8-minute 48 kHz stereo MP3 decoded by Import Sound's decoder (DecodeSoundFile: every
// sample to 16 bits in memory, ready to play) against the ffmpeg tool decoding the same file
// to nothing (`ffmpeg -i track.mp3 -f null -`). Each iteration runs both, taking turns at going
// first, so that load from elsewhere on the machine falls on both alike. Goal: at most 1.2 x
// the tool's time. The MP3 is made once with the ffmpeg tool in $LUMVANE_BENCH_DIR, or a folder
// in the current directory.
#include <benchmark/benchmark.h>

#include <QString>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "intake/SoundImport.h"

namespace {

std::string Track() {
    const char* env = std::getenv("LUMVANE_BENCH_DIR");
    const std::string dir = std::filesystem::absolute(env && *env ? env : "bench_sound_files");
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/track.mp3";
    if (!std::filesystem::exists(path)) {
        // Two tones and some noise, so the encoder has something to code on both channels.
        const std::string make =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
            "\"aevalsrc=0.4*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.4*sin(2*PI*660*t)+"
            "0.1*(random(1)-0.5):s=48000:d=480\" -b:a 192k \"" +
            path + "\"";
        if (std::system(make.c_str()) != 0) return std::string();
    }
    return path;
}

double Seconds(const std::chrono::steady_clock::time_point& t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_Mp3DecodeAgainstFfmpegTool(benchmark::State& state) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) {
        state.SkipWithError("the ffmpeg tool is not installed");
        return;
    }
    const std::string path = Track();
    if (path.empty()) {
        state.SkipWithError("could not make the MP3");
        return;
    }
    const std::string tool =
        "ffmpeg -hide_banner -loglevel error -i \"" + path + "\" -f null - < /dev/null";
    double ours = 0, theirs = 0;
    std::int64_t frames = 0;
    int turn = 0;
    for (auto _ : state) {
        double o = 0, t = 0;
        for (int k = 0; k < 2; ++k) {
            if ((k + turn) % 2 == 0) {
                const auto t0 = std::chrono::steady_clock::now();
                DecodedSound track;
                if (DecodeSoundFile(QString::fromStdString(path), track) != SoundDecode::Ok)
                    state.SkipWithError("the decoder refused the MP3");
                o = Seconds(t0);
                frames = track.Frames();
            } else {
                const auto t0 = std::chrono::steady_clock::now();
                if (std::system(tool.c_str()) != 0) state.SkipWithError("the ffmpeg tool failed");
                t = Seconds(t0);
            }
        }
        ++turn;
        ours += o;
        theirs += t;
        state.SetIterationTime(o);
    }
    state.counters["tool_s"] = theirs / static_cast<double>(state.iterations());
    state.counters["ratio"] = ours / theirs;
    state.counters["seconds_of_sound"] = static_cast<double>(frames) / 48000;
}

}  // namespace

BENCHMARK(BM_Mp3DecodeAgainstFfmpegTool)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(4);

BENCHMARK_MAIN();
