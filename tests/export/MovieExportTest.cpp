// Movies, GIFs and PNG images read back through FFmpeg's decoders and Qt's reader: frames, rates,
// durations, colour tags and the sound track; then every way an export can fail or be cancelled.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
}

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "document/LumvaneDoc.h"
#include "document/MemoryCheck.h"
#include "export/MovieExport.h"
#include "export/MovieProbe.h"
#include "export/VideoEncoderPlan.h"
#include "support/ChildProcess.h"
#include "support/FakeMemoryInfo.h"
#include "support/FrameAccess.h"

namespace {

using Picture = std::vector<unsigned char>;  // top row first

// Frame k of n, top-down: a ramp along the top (which way is up), a soft disc going round once
// over the animation, a thin bar moving across; `noise` fills much of it with random grays so
// that the GIF coder's table fills and starts again.
int Pixel(int k, int n, int w, int h, int x, int y, bool noise) {
    if (y < h / 6) return x * 255 / (w - 1);
    if (noise && x < w * 3 / 4) {
        std::uint32_t v = static_cast<std::uint32_t>((k * h + y) * w + x);
        v = (v ^ (v >> 13)) * 0x5BD1E995u;
        return static_cast<int>((v ^ (v >> 15)) & 0xFF);
    }
    const double a = 2 * std::numbers::pi * k / n;
    const double cx = w / 2.0 + w / 4.0 * std::cos(a);
    const double cy = h * 7 / 12.0 + h / 4.0 * std::sin(a);
    const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - h / 8.0;
    int v = d <= 0 ? 0 : d >= 2 ? 255 : static_cast<int>(d * 127.5);
    if (x == k * w / n) v = std::min(v, 96);
    return v;
}

// A document with n frames (stored bottom-up) and what each should look like.
struct Animation {
    CLumvaneDoc doc;
    std::vector<Picture> pictures;
    Animation(int w, int h, int n, bool noise = false) {
        doc.CreateAnimation(w, h);
        for (int k = 0; k < n; ++k) {
            frames::Edit f(doc, k);
            Picture p(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const auto v = static_cast<unsigned char>(Pixel(k, n, w, h, x, y, noise));
                    p[static_cast<std::size_t>(y) * w + x] = v;
                    f->GetData()[static_cast<std::size_t>(h - 1 - y) * w + x] = v;
                }
            pictures.push_back(std::move(p));
        }
        doc.m_nFrameCount = n;
    }
};

double Tone(double t) {
    return 0.45 * std::sin(2 * std::numbers::pi * 330 * t) *
               (0.6 + 0.4 * std::sin(2 * std::numbers::pi * 3 * t)) +
           0.25 * std::sin(2 * std::numbers::pi * 140 * t);
}

// An 8-bit mono track as Audio > Load leaves it in the document.
void LoadTrack(CLumvaneDoc& doc, int rate, int bytes) {
    const auto b = [](int v, int i) { return static_cast<unsigned char>((v >> (8 * i)) & 0xFF); };
    doc.m_pWaveFormat = {1,          0,          1,          0,          b(rate, 0), b(rate, 1),
                         b(rate, 2), b(rate, 3), b(rate, 0), b(rate, 1), b(rate, 2), b(rate, 3),
                         1,          0,          8,          0};
    doc.m_pSoundData.reset(new unsigned char[static_cast<std::size_t>(bytes)]);
    for (int i = 0; i < bytes; ++i)
        doc.m_pSoundData[i] =
            static_cast<unsigned char>(128 + std::lround(100 * Tone(1.0 * i / rate)));
    doc.m_nSoundBytes = bytes;
    doc.m_bSoundLoaded = 1;
}

// What should be heard at `rate` for n frames at fps: the track from its start for n / fps
// seconds, silent past its end.
std::vector<float> ExpectedSound(const CLumvaneDoc& doc, int n, int fps, int rate) {
    const int trackRate = doc.GetSoundSampleRate();
    const double seconds = static_cast<double>(n) / fps;
    const double trackSeconds = static_cast<double>(doc.m_nSoundBytes) / trackRate;
    std::vector<float> s(static_cast<std::size_t>(seconds * rate));
    for (std::size_t j = 0; j < s.size(); ++j) {
        const double at = static_cast<double>(j) / rate * trackRate;
        const auto i = static_cast<int>(at);
        if (at >= trackSeconds * trackRate - 1) break;
        const double f = at - i;
        const double v = (1 - f) * doc.m_pSoundData[i] + f * doc.m_pSoundData[i + 1];
        s[j] = static_cast<float>((v - 128) / 128);
    }
    return s;
}

double Correlation(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sa += a[i];
        sb += b[i];
        saa += a[i] * a[i];
        sbb += b[i] * b[i];
        sab += a[i] * b[i];
    }
    const double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return cov / std::sqrt(va * vb);
}

// Mean absolute difference between the w x h picture and the top-left w x h of a decoded frame.
double Mad(const Picture& decoded, int stride, const Picture& source, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += std::abs(decoded[static_cast<std::size_t>(y) * stride + x] -
                            source[static_cast<std::size_t>(y) * w + x]);
    return sum / (static_cast<double>(w) * h);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The top-level box types of an MP4 file in their order.
std::string TopLevelBoxes(const QByteArray& file) {
    std::string boxes;
    for (qsizetype at = 0; at + 8 <= file.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(file.constData() + at);
        const qsizetype size = (qsizetype{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (!boxes.empty()) boxes += ' ';
        boxes.append(file.constData() + at + 4, 4);
        if (size < 8) break;
        at += size;
    }
    return boxes;
}

// What is in a folder, hidden files too: one "name size" line each.
std::string Listing(const QString& dir) {
    std::string s;
    for (const QFileInfo& f : QDir(dir).entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        s += QString("%1 %2\n")
                 .arg(f.fileName(), f.isDir() ? QString("dir") : QString::number(f.size()))
                 .toStdString();
    return s;
}

MovieSettings Settings(MovieFormat format, const QString& dir, int fps = 25) {
    MovieSettings s;
    s.format = format;
    s.fps = fps;
    s.outputPath = format == MovieFormat::Png ? dir : dir + "/walk." + MovieExtension(format);
    s.sequenceName = "walk";
    return s;
}

// The mean of a decoded frame outside the top-left w x h: the padding.
double Padding(const Picture& f, int stride, int rows, int w, int h) {
    double sum = 0;
    int count = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < stride; ++x) {
            if (x < w && y < h) continue;
            sum += f[static_cast<std::size_t>(y) * stride + x];
            ++count;
        }
    }
    return count ? sum / count : 255;
}

struct RoundTrip {
    const char* name;
    MovieFormat format;
    int width, height, frames, fps;
    int trackRate, trackFrames;  // the track's rate (0: none) and length in frames at fps
    bool includeSound;
    const char* videoCodec;
    int outWidth, outHeight;
    const char* audioCodec;  // "": no sound stream
    int audioRate, audioFrame;
    const char* gifDelays;
};

const RoundTrip kRoundTrips[] = {
    {"mp4, a track AAC takes, cut", MovieFormat::Mp4, 80, 60, 20, 25, 22050, 30, true, "h264", 80,
     60, "aac", 22050, 1024, ""},
    {"mp4, odd size, a short track resampled", MovieFormat::Mp4, 65, 49, 12, 30, 20000, 6, true,
     "h264", 66, 50, "aac", 22050, 1024, ""},
    {"mp4 at 100 fps, sound left out", MovieFormat::Mp4, 64, 48, 10, 100, 22050, 30, false, "h264",
     64, 48, "", 0, 0, ""},
    {"webm, a track resampled for Opus", MovieFormat::WebM, 80, 60, 20, 30, 22050, 25, true, "vp9",
     80, 60, "opus", 48000, 960, ""},
    {"webm, odd size, a short 48 kHz track", MovieFormat::WebM, 63, 47, 10, 24, 48000, 5, true,
     "vp9", 64, 48, "opus", 48000, 960, ""},
    {"gif at 25 fps, noisy, odd size", MovieFormat::Gif, 99, 75, 12, 25, 22050, 30, true, "gif", 99,
     75, "", 0, 0, "4 4 4 4 4 4 4 4 4 4 4 4 "},
    {"gif at 30 fps", MovieFormat::Gif, 64, 48, 12, 30, 0, 0, true, "gif", 64, 48, "", 0, 0,
     "3 4 3 3 4 3 3 4 3 3 4 3 "},
    {"gif at 7 fps", MovieFormat::Gif, 64, 48, 8, 7, 0, 0, true, "gif", 64, 48, "", 0, 0,
     "14 15 14 14 14 15 14 14 "},
};

}  // namespace

TEST(MovieExport, RoundTripsThroughFfmpegsDecoders) {
    for (const RoundTrip& rt : kRoundTrips) {
        SCOPED_TRACE(rt.name);
        Animation anim(rt.width, rt.height, rt.frames, rt.format == MovieFormat::Gif);
        if (rt.trackRate) LoadTrack(anim.doc, rt.trackRate, rt.trackRate * rt.trackFrames / rt.fps);
        QTemporaryDir dir;
        MovieSettings settings = Settings(rt.format, dir.path(), rt.fps);
        settings.includeSound = rt.includeSound;
        const QString& path = settings.outputPath;
        std::string progress;
        QString error = "untouched";
        const auto step = [&](int i, int n) {
            progress += QString("%1/%2 ").arg(i).arg(n).toStdString();
            return true;
        };
        ASSERT_EQ(ExportMovie(anim.doc, settings, step, &error), MOVIE_DONE);
        EXPECT_EQ(error, "");
        std::string everyFrame;
        for (int i = 0; i < rt.frames; ++i)
            everyFrame += QString("%1/%2 ").arg(i).arg(rt.frames).toStdString();
        EXPECT_EQ(progress, everyFrame);
        EXPECT_EQ(Listing(dir.path()), QString("%1 %2\n")
                                           .arg(QFileInfo(path).fileName())
                                           .arg(QFileInfo(path).size())
                                           .toStdString());

        const ProbedMovie m = ProbeMovie(path.toStdString());
        ASSERT_EQ(m.error, "");
        const ProbedStream& v = m.video;
        EXPECT_EQ(v.codec, rt.videoCodec);
        EXPECT_EQ(v.width, rt.outWidth);
        EXPECT_EQ(v.height, rt.outHeight);
        ASSERT_EQ(m.frames.size(), static_cast<std::size_t>(rt.frames));
        const QByteArray bytes = ReadAll(path);

        if (rt.format == MovieFormat::Gif) {
            std::string delays;
            std::int64_t end = 0;
            for (std::size_t k = 0; k < m.frames.size(); ++k) {
                EXPECT_TRUE(m.frames[k] == anim.pictures[k]) << "frame " << k;
                delays += std::to_string(v.durations[k]) + " ";
                // Frame k (from 1) ends at round(k x 100 / fps) hundredths.
                end += v.durations[k];
                EXPECT_EQ(end, std::lround((k + 1) * 100.0 / rt.fps)) << "frame " << k;
            }
            EXPECT_EQ(delays, rt.gifDelays);
            // The 256 grays, then the loop block with a count of 0: for ever.
            QByteArray grays;
            for (int i = 0; i < 3 * 256; ++i) grays += static_cast<char>(i / 3);
            EXPECT_EQ(bytes.mid(10, 3), QByteArray("\xF7\xFF\x00", 3));
            EXPECT_EQ(bytes.mid(13, 768), grays);
            EXPECT_EQ(bytes.mid(13 + 768, 19),
                      QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19));
            continue;
        }

        // Colour tags, so players show the grays as they are.
        EXPECT_EQ(v.pixelFormat, "yuv420p");
        EXPECT_EQ(v.range, AVCOL_RANGE_MPEG);
        EXPECT_EQ(v.primaries, AVCOL_PRI_BT709);
        EXPECT_EQ(v.transfer, AVCOL_TRC_BT709);
        EXPECT_EQ(v.matrix, AVCOL_SPC_BT709);
        EXPECT_EQ(v.rateNum * 1000 + v.rateDen, rt.fps * 1000 + 1);
        // The video lasts n / fps exactly (to the millisecond in WebM's time base).
        const double videoEnd = static_cast<double>(v.end) * v.timeBaseNum / v.timeBaseDen;
        if (rt.format == MovieFormat::Mp4) {
            EXPECT_EQ(v.end * v.timeBaseNum * rt.fps, std::int64_t{rt.frames} * v.timeBaseDen);
            EXPECT_EQ(TopLevelBoxes(bytes).substr(0, 14), "ftyp moov free") << TopLevelBoxes(bytes);
        } else {
            EXPECT_NEAR(videoEnd, static_cast<double>(rt.frames) / rt.fps, 0.0011);
        }
        // Every frame close to its own picture and nearer to it than to any other; white padding.
        for (std::size_t k = 0; k < m.frames.size(); ++k) {
            const Picture& f = m.frames[k];
            const double own = Mad(f, v.width, anim.pictures[k], rt.width, rt.height);
            EXPECT_LE(own, 1.5) << "frame " << k;
            for (std::size_t j = 0; j < anim.pictures.size(); ++j) {
                if (j == k) continue;
                EXPECT_LT(own, Mad(f, v.width, anim.pictures[j], rt.width, rt.height))
                    << "frame " << k << " looks like " << j;
            }
            EXPECT_GE(Padding(f, v.width, v.height, rt.width, rt.height), 250) << "frame " << k;
        }

        const ProbedStream& a = m.audio;
        ASSERT_EQ(a.present, *rt.audioCodec != 0);
        if (!a.present) continue;
        EXPECT_EQ(a.codec, rt.audioCodec);
        EXPECT_EQ(a.sampleRate, rt.audioRate);
        EXPECT_EQ(a.channels, 1);
        EXPECT_EQ(a.profile, rt.format == MovieFormat::Mp4 ? FF_PROFILE_AAC_LOW : a.profile);
        // Sound and pictures start together and end within one codec frame.
        EXPECT_NEAR(static_cast<double>(a.firstPts) * a.timeBaseNum / a.timeBaseDen, 0, 0.001);
        const std::vector<float> expected =
            ExpectedSound(anim.doc, rt.frames, rt.fps, rt.audioRate);
        EXPECT_NEAR(static_cast<double>(m.samples.size()), static_cast<double>(expected.size()),
                    rt.audioFrame);
        EXPECT_NEAR(static_cast<double>(m.samples.size()) / rt.audioRate, videoEnd,
                    static_cast<double>(rt.audioFrame) / rt.audioRate);
        EXPECT_GT(Correlation(m.samples, expected), 0.95);
    }
}

// No sound, the numbering of the Targa export, 8-bit gray, every pixel as drawn.
TEST(MovieExport, PngImagesArePixelExactGrayWithTheTargaNumbering) {
    Animation anim(65, 49, 3);
    LoadTrack(anim.doc, 22050, 22050);
    QTemporaryDir dir;
    MovieSettings settings = Settings(MovieFormat::Png, dir.path());
    settings.startNumber = 9999;
    QString error;
    ASSERT_EQ(ExportMovie(anim.doc, settings, {}, &error), MOVIE_DONE);
    EXPECT_EQ(error, "");
    const char* names[] = {"walk9999.png", "walk10000.png", "walk10001.png"};
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    for (int k = 0; k < 3; ++k) {
        const QImage image(dir.filePath(names[k]));
        EXPECT_EQ(ReadAll(dir.filePath(names[k])).mid(24, 2), QByteArray("\x08\x00", 2));
        ASSERT_EQ(image.format(), QImage::Format_Grayscale8) << names[k];
        ASSERT_EQ(image.size(), QSize(65, 49));
        for (int y = 0; y < 49; ++y)
            ASSERT_EQ(0,
                      std::memcmp(image.constScanLine(y),
                                  anim.pictures[static_cast<std::size_t>(k)].data() + y * 65, 65))
                << names[k] << " row " << y;
    }
    settings.sequenceName = "";
    settings.startNumber = 1;
    ASSERT_EQ(ExportMovie(anim.doc, settings, {}, &error), MOVIE_DONE);
    EXPECT_TRUE(QFile::exists(dir.filePath("0003.png")));
}

namespace {
const MovieFormat kAllFormats[] = {MovieFormat::Mp4, MovieFormat::WebM, MovieFormat::Gif,
                                   MovieFormat::Png};
}  // namespace

TEST(MovieExport, BadSettingsAndUnwritablePlacesAreRefusedWithTheirTexts) {
    static GrayImage other;  // a frame of another size
    other.Create(64, 47);
    using Change = void (*)(MovieSource&, MovieSettings&);
    struct Case {
        const char* name;
        MovieFormat format;
        Change change;
        const char* text;  // $ stands for the folder
    };
    const char* bad = "The frame rate must be between 1 and 100.";
    const char* diskFull = "!: Disk Full or Write Protected";
    const Case cases[] = {
        {"fps 0", MovieFormat::Mp4, [](MovieSource&, MovieSettings& s) { s.fps = 0; }, bad},
        {"fps 101", MovieFormat::Gif, [](MovieSource&, MovieSettings& s) { s.fps = 101; }, bad},
        {"no frames", MovieFormat::WebM, [](MovieSource& f, MovieSettings&) { f.frames.clear(); },
         "There are no frames to export."},
        {"a frame of another size", MovieFormat::Mp4,
         [](MovieSource& f, MovieSettings&) { f.frames[3] = &other; },
         "The frames of the animation differ in size."},
        {"a frame without pixels", MovieFormat::Png,
         [](MovieSource& f, MovieSettings&) { f.frames[3] = &other, other.Free(); },
         "The frames of the animation differ in size."},
        {"png name with a digit", MovieFormat::Png,
         [](MovieSource&, MovieSettings& s) { s.sequenceName = "walk1"; },
         "Only letters are allowed for the sequence name."},
        {"mp4 in a missing folder", MovieFormat::Mp4,
         [](MovieSource&, MovieSettings& s) { s.outputPath.replace("/walk", "/no/walk"); },
         "Error writing file $/no/walk.mp4"},
        {"webm in a missing folder", MovieFormat::WebM,
         [](MovieSource&, MovieSettings& s) { s.outputPath.replace("/walk", "/no/walk"); },
         "Error writing file $/no/walk.webm"},
        {"gif in a missing folder", MovieFormat::Gif,
         [](MovieSource&, MovieSettings& s) { s.outputPath.replace("/walk", "/no/walk"); },
         "Error writing file $/no/walk.gif"},
        {"png in a missing folder", MovieFormat::Png,
         [](MovieSource&, MovieSettings& s) { s.outputPath += "/no"; },
         "Error writing file $/no/walk0001.png"},
        {"mp4 onto a folder", MovieFormat::Mp4,
         [](MovieSource&, MovieSettings& s) { s.outputPath.replace("/walk.mp4", "/folder"); },
         "Error writing file $/folder"},
        {"gif onto a folder", MovieFormat::Gif,
         [](MovieSource&, MovieSettings& s) { s.outputPath.replace("/walk.gif", "/folder"); },
         "Error writing file $/folder"},
        // The encoder would need a byte more than the process may have: not started.
        {"mp4 beyond the memory", MovieFormat::Mp4, nullptr, "memory"},
        {"webm beyond the memory", MovieFormat::WebM, nullptr, "memory"},
    };
    Animation anim(64, 48, 6);
    LoadTrack(anim.doc, 22050, 10000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
        MovieSource source = MovieSourceOf(anim.doc);
        MovieSettings settings = Settings(c.format, dir.path());
        if (c.change) c.change(source, settings);
        QString text = QString(c.text).replace("$", dir.path());
        if (text.startsWith("Error writing")) text += diskFull;
        std::optional<FakeMemoryInfo> fake;
        if (text == "memory") {
            const std::uint64_t need = PlanVideoEncoder(source, settings).bytes;
            fake.emplace().LeaveRoomFor(need - 1);
            text = QStringLiteral(
                       "Could not encode the movie: not enough memory for frames of 64 "
                       "x 48 pixels (about %1 MB needed, %2 MB available)")
                       .arg((need + (1 << 20) - 1) >> 20)
                       .arg((need - 1 + kMemoryReserve) >> 20);
        }
        QString error;
        EXPECT_EQ(ExportMovie(source, settings, {}, &error), MOVIE_FAILED);
        EXPECT_EQ(error, text);
        EXPECT_EQ(Listing(dir.path()), "folder dir\n");
        other.Create(64, 47);
    }
    // With exactly the room it needs, the movie is written.
    for (const MovieFormat format : {MovieFormat::Mp4, MovieFormat::WebM}) {
        QTemporaryDir dir;
        const MovieSource source = MovieSourceOf(anim.doc);
        const MovieSettings settings = Settings(format, dir.path());
        FakeMemoryInfo fake;
        fake.LeaveRoomFor(PlanVideoEncoder(source, settings).bytes);
        QString error;
        EXPECT_EQ(ExportMovie(source, settings, {}, &error), MOVIE_DONE) << error.toStdString();
    }
    // Failures of FFmpeg itself, which these files cannot provoke.
    EXPECT_EQ(MovieTextNoEncoder("libx264"), "The libx264 encoder is not available.");
    EXPECT_EQ(MovieTextEncodeFailed("Invalid argument"),
              "Could not encode the movie: Invalid argument");
}

// Small frames keep the encoders' own choices; large ones get fewer threads and held-back
// frames, so that their need stays within reach. (The needs are what the encoders were
// measured to take at their peak, plus a margin.)
TEST(MovieExport, EncodersAreSizedToTheFrame) {
    struct Case {
        MovieFormat format;
        int width, height, count, cores;
        int threads, lookahead, tiles;
        std::uint64_t atLeastMB, atMostMB;
    } cases[] = {
        {MovieFormat::Mp4, 644, 480, 100, 2, 3, 40, 0, 200, 240},
        {MovieFormat::Mp4, 644, 480, 100, 16, 24, 40, 0, 280, 320},
        {MovieFormat::Mp4, 1920, 1080, 100, 16, 24, 40, 0, 1200, 1300},
        {MovieFormat::Mp4, 10004, 10000, 1, 16, 1, 1, 0, 1400, 1500},
        {MovieFormat::Mp4, 10004, 10000, 60, 16, 1, 1, 0, 6000, 6100},
        {MovieFormat::WebM, 644, 480, 100, 2, 2, 25, 1, 170, 200},
        {MovieFormat::WebM, 1920, 1080, 100, 32, 16, 25, 2, 520, 580},
        {MovieFormat::WebM, 10004, 10000, 1, 2, 2, 1, 5, 7400, 7600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                     std::to_string(c.count) + " frames " + std::to_string(c.cores) + " cores");
        const VideoEncoderPlan p = PlanVideoEncoder(c.format, c.width, c.height, c.count, c.cores);
        EXPECT_EQ(p.threads, c.threads);
        EXPECT_EQ(p.lookahead, c.lookahead);
        EXPECT_EQ(p.tileColumnsLog2, c.tiles);
        EXPECT_GE(p.bytes >> 20, c.atLeastMB);
        EXPECT_LE(p.bytes >> 20, c.atMostMB);
    }
}

TEST(MovieExport, CancelLeavesNoPartialMovieAndAnOlderFileAsItWas) {
    constexpr int kFrames = 10;
    Animation anim(64, 48, kFrames);
    LoadTrack(anim.doc, 22050, 30000);
    for (const MovieFormat format : kAllFormats) {
        for (const int at : {0, kFrames / 2, kFrames - 1}) {
            SCOPED_TRACE(
                QString("%1 at frame %2").arg(MovieExtension(format)).arg(at).toStdString());
            QTemporaryDir dir;
            const MovieSettings settings = Settings(format, dir.path());
            std::string before;
            if (format != MovieFormat::Png) {
                QFile old(settings.outputPath);
                ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("an older movie") == 14);
                old.close();
                before = Listing(dir.path());
            } else {
                for (int i = 1; i <= at; ++i)
                    before += QString("walk000%1.png").arg(i).toStdString();
            }
            int calls = 0;
            QString error;
            EXPECT_EQ(ExportMovie(
                          anim.doc, settings,
                          [&](int i, int) {
                              ++calls;
                              return i != at;
                          },
                          &error),
                      MOVIE_CANCELLED);
            EXPECT_EQ(calls, at + 1);
            if (format == MovieFormat::Png) {
                EXPECT_EQ(error, QString("Export cancelled after %1 of 10 images.").arg(at));
                EXPECT_EQ(
                    QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join("").toStdString(),
                    before);
            } else {
                EXPECT_EQ(error, "Export cancelled. " + settings.outputPath + " was not written.");
                EXPECT_EQ(Listing(dir.path()), before);
                EXPECT_EQ(ReadAll(settings.outputPath), "an older movie");
            }
        }
    }
}

// A disk that fills while the movie is written: a file-size limit (with SIGXFSZ ignored, as the
// program does) at half the movie and short of its end (in the index, written last), and a tiny
// tmpfs where mounting is permitted. No partial movie; for images the files before stay. x264's
// frame threads make the size vary by some bytes from run to run, hence the margin at the end.
TEST(MovieExport, FullDiskLeavesNoPartialMovie) {
    Animation anim(80, 60, 20, true);
    LoadTrack(anim.doc, 22050, 30000);
    QTemporaryDir probe;
    const bool tmpfs = CanMountTinyDisk(probe.path().toStdString().c_str());
    for (const MovieFormat format : kAllFormats) {
        QTemporaryDir reference;
        MovieSettings settings = Settings(format, reference.path());
        ASSERT_EQ(ExportMovie(anim.doc, settings, {}, nullptr), MOVIE_DONE);
        const QString first =
            format == MovieFormat::Png ? reference.path() + "/walk0001.png" : settings.outputPath;
        const qint64 whole = QFileInfo(first).size();
        struct Limit {
            const char* name;
            qint64 fileSize;  // 0: a tmpfs
        };
        const Limit limits[] = {
            {"half", whole / 2}, {"all but the end", whole - 256}, {"tmpfs", 0}};
        for (const Limit& limit : limits) {
            SCOPED_TRACE(QString("%1, %2").arg(MovieExtension(format), limit.name).toStdString());
            if (!limit.fileSize && !tmpfs) continue;
            QTemporaryDir dir;
            settings = Settings(format, dir.path());
            const std::string mountPoint = dir.path().toStdString();
            const ChildResult r = RunInChild([&] {
                if (limit.fileSize) {
                    LimitFileSize(static_cast<rlim_t>(limit.fileSize));
                } else if (!MountTinyDisk(mountPoint.c_str(), 3 * 4096)) {
                    return std::string("mount failed");
                }
                QString error;
                const int result = ExportMovie(anim.doc, settings, {}, &error);
                return QString("%1 %2\n").arg(result).arg(error).toStdString() +
                       Listing(dir.path());
            });
            ASSERT_TRUE(r.exited && r.code == 0) << r.How();
            SCOPED_TRACE("the whole file has " + std::to_string(whole) + " bytes");
            if (format != MovieFormat::Png) {
                EXPECT_EQ(r.report,
                          QString("0 Error writing file %1!: Disk Full or Write Protected\n")
                              .arg(settings.outputPath)
                              .toStdString());
                continue;
            }
            // Images: the first ones that fit stay, the one that did not fit is gone.
            const std::size_t newline = r.report.find('\n');
            const std::string files = r.report.substr(newline + 1);
            const int kept = static_cast<int>(std::count(files.begin(), files.end(), '\n'));
            EXPECT_EQ(
                r.report.substr(0, newline),
                QString("0 Error writing file %1/walk000%2.png!: Disk Full or Write Protected")
                    .arg(dir.path())
                    .arg(kept + 1)
                    .toStdString());
            std::string expected;
            for (int i = 1; i <= kept; ++i) {
                const QString name = QString("walk000%1.png").arg(i);
                expected += QString("%1 %2\n")
                                .arg(name)
                                .arg(QFileInfo(reference.path() + "/" + name).size())
                                .toStdString();
            }
            EXPECT_EQ(files, expected);
            if (limit.fileSize) {
                EXPECT_EQ(kept, 0);
            }
        }
    }
}
