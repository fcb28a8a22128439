// The movie's sound from an imported track at full quality, and from a track of any announced
// rate in time that follows its real length.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "document/LumvaneDoc.h"
#include "export/MovieExport.h"
#include "export/MovieProbe.h"
#include "export/MovieSound.h"
#include "intake/SoundImport.h"
#include "raster/GrayImage.h"

namespace {

// frames white frames of 64 x 48.
struct Frames {
    std::vector<GrayImage> images;
    MovieSource source;
    explicit Frames(int n) : images(static_cast<std::size_t>(n)) {
        for (GrayImage& g : images) {
            g.Create(64, 48);
            std::fill(g.GetData(), g.GetData() + 64 * 48, 255);
            source.frames.push_back(&g);
        }
    }
};

// An 8-bit track of bytes samples announcing rate.
std::vector<unsigned char> Ramp(std::size_t bytes) {
    std::vector<unsigned char> s(bytes);
    for (std::size_t i = 0; i < bytes; ++i) s[i] = static_cast<unsigned char>(64 + i % 128);
    return s;
}

double Correlation(const std::vector<float>& a, const std::vector<float>& b, std::size_t n) {
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < n && i < a.size() && i < b.size(); ++i) {
        sab += a[i] * b[i];
        saa += a[i] * a[i];
        sbb += b[i] * b[i];
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

}  // namespace

// A WAV may announce 2,000,000,000 samples a second: only its own samples are resampled, the
// silence after them is made at the codec's rate, and Cancel is asked between pieces of a
// long stretch of track.
TEST(MovieSound, WorkFollowsTheTracksRealLengthAtAnyRate) {
    struct Case {
        int rate;
        std::size_t bytes;
        int frames, fps, outRate;
        std::int64_t fed, total;
    } cases[] = {
        {2000000000, 1000, 5, 25, 96000, 1000, 19200},
        {2000000000, 3 << 20, 50, 1, 96000, 3 << 20, 4800000},
        {22050, 30000, 20, 25, 22050, 17640, 17640},  // cut at the animation's end
        {8000, 100, 3, 30, 48000, 100, 4800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bytes << " bytes");
        const std::vector<unsigned char> track = Ramp(c.bytes);
        MovieSource source;
        source.sound = track.data();
        source.soundBytes = static_cast<std::int64_t>(c.bytes);
        source.soundRate = c.rate;
        MovieSoundFeed feed;
        ASSERT_GE(feed.Init(source, c.frames, c.fps, c.outRate), 0);
        std::int64_t taken = 0;
        for (int f = 1; f <= c.frames; ++f) {
            ASSERT_EQ(feed.FeedUpTo(f), 0);
            taken += feed.Available();
            feed.Take(static_cast<int>(feed.Available()));
            feed.Compact();
        }
        ASSERT_EQ(feed.Finish(), 0);
        taken += feed.Available();
        EXPECT_EQ(feed.TrackFramesFed(), c.fed);
        EXPECT_EQ(feed.Total(), c.total);
        EXPECT_EQ(taken, c.total);
    }

    // Cancel: asked before every piece after the first of one frame's stretch.
    const std::vector<unsigned char> track = Ramp(3 << 20);
    MovieSource source;
    source.sound = track.data();
    source.soundBytes = 3 << 20;
    source.soundRate = 2000000000;
    MovieSoundFeed feed;
    ASSERT_GE(feed.Init(source, 5, 25, 96000), 0);
    int asked = 0;
    EXPECT_EQ(feed.FeedUpTo(1, [&] { return ++asked < 3; }), MovieSoundFeed::kStopped);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(feed.TrackFramesFed(), 3 * MovieSoundFeed::kPiece);
}

TEST(MovieSound, AnAbsurdRateExportsPromptlyAndCancelsBetweenPieces) {
    Frames anim(5);
    const std::vector<unsigned char> track = Ramp(3 << 20);
    anim.source.sound = track.data();
    anim.source.soundBytes = 3 << 20;
    anim.source.soundRate = 2000000000;
    QTemporaryDir dir;
    MovieSettings settings;
    settings.outputPath = dir.filePath("absurd.mp4");
    ASSERT_EQ(ExportMovie(anim.source, settings, {}, nullptr), MOVIE_DONE);
    const ProbedMovie m = ProbeMovie(settings.outputPath.toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_NEAR(static_cast<double>(m.samples.size()) / m.audio.sampleRate, 0.2, 1024.0 / 96000);

    // The whole track falls into the first frame: Cancel is still heard within it.
    int calls = 0;
    QString error;
    EXPECT_EQ(ExportMovie(
                  anim.source, settings, [&](int, int) { return ++calls < 4; }, &error),
              MOVIE_CANCELLED);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(error, "Export cancelled. " + settings.outputPath + " was not written.");
}

// An MP3 track imported as the window's Import Sound does, exported to MP4 and decoded back:
// stereo AAC at the track's rate, as long as the animation, the same sound.
TEST(MovieSound, AnMp3TrackIsEncodedFromItsFullQualitySamples) {
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("track.mp3");
    QProcess tool;
    tool.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=3:r=48000", "-f",
                          "lavfi", "-i", "sine=f=660:d=3:r=48000", "-filter_complex",
                          "amerge=inputs=2", "-b:a", "192k", mp3});
    ASSERT_TRUE(tool.waitForFinished(60000) && tool.exitCode() == 0);
    auto decoded = std::make_shared<DecodedSound>();
    ASSERT_EQ(DecodeSoundFile(mp3, *decoded), SoundDecode::Ok);
    ASSERT_EQ(decoded->channels, 2);

    Frames anim(50);  // 2 s at 25 fps: the 3 s track is cut
    anim.source.decoded = decoded;
    anim.source.soundRate = decoded->rate;
    MovieSettings settings;
    settings.outputPath = dir.filePath("movie.mp4");
    ASSERT_EQ(ExportMovie(anim.source, settings, {}, nullptr), MOVIE_DONE);
    const ProbedMovie m = ProbeMovie(settings.outputPath.toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.audio.codec, "aac");
    EXPECT_EQ(m.audio.channels, 2);
    EXPECT_EQ(m.audio.sampleRate, 48000);
    const double seconds = static_cast<double>(m.samples.size()) / m.audio.sampleRate;
    EXPECT_NEAR(seconds, 2.0, 1024.0 / 48000);
    std::vector<float> left;
    for (std::int64_t i = 0; i < decoded->Frames(); ++i)
        left.push_back(decoded->samples[static_cast<std::size_t>(i) * 2] / 32768.0f);
    const double r = Correlation(m.samples, left, 96000);
    EXPECT_GT(r, 0.99);
    RecordProperty("duration", std::to_string(seconds));
    RecordProperty("correlation", std::to_string(r));
    std::printf("MP3 track movie: %.4f s of sound, correlation %.5f\n", seconds, r);
}
