// The three export writers: exact bytes, sizes and every way a write can fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "raster/GrayImage.h"
#include "support/ChildProcess.h"

namespace {
using Bytes = std::vector<unsigned char>;
using Writer = int (GrayImage::*)(const std::string&, const WriteErrorSink&) const;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Message(const std::string& name) {
    return "Error writing file " + name + "!: Disk Full or Write Protected";
}

// Records the writers' reports.
struct ReportLog {
    std::vector<std::string> texts;
    WriteErrorSink sink = [this](const std::string& t) { texts.push_back(t); };
};

// For writes that must succeed: any report fails the test.
const WriteErrorSink kNoReport = [](const std::string& t) { ADD_FAILURE() << t; };

struct WriterCase {
    const char* name;
    Writer writer;
};
const WriterCase kWriters[] = {{"drawing", &GrayImage::WriteDrawingFile},
                               {"gray", &GrayImage::WriteGrayTarga},
                               {"color", &GrayImage::WriteColorTarga}};

void MakeImage(GrayImage& img, int w, int h) {
    ASSERT_EQ(img.Create(w, h), 1);
    for (std::size_t i = 0; i < img.PixelCount(); ++i)
        img.GetData()[i] = static_cast<unsigned char>(i * 7 + 3);
}
}  // namespace

TEST(Writers, TwoByOneImageGivesTheExactFiles) {
    GrayImage img;
    ASSERT_EQ(img.Create(2, 1), 1);
    img.GetData()[0] = 0;
    img.GetData()[1] = 255;
    const Bytes gray = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0, 0, 0xFF};
    Bytes drawing = gray;
    drawing[3] = 0x48;
    const Bytes color = {0, 0, 2, 0, 0,    0, 0, 0, 0, 0,    0,    0,
                         2, 0, 1, 0, 0x18, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    const Bytes expected[] = {drawing, gray, color};
    QTemporaryDir dir;
    ReportLog log;
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.path().toStdString() + "/f" + kWriters[i].name;
        EXPECT_EQ((img.*kWriters[i].writer)(path, kNoReport), 1) << kWriters[i].name;
        EXPECT_EQ(ReadAll(path), expected[i]) << kWriters[i].name;
    }
    EXPECT_TRUE(log.texts.empty());
}

TEST(Writers, PixelsGoOutInBufferOrderBottomRowFirst) {
    GrayImage img;
    MakeImage(img, 3, 2);
    QTemporaryDir dir;
    const std::string gray = dir.path().toStdString() + "/g.tga";
    const std::string color = dir.path().toStdString() + "/c.tga";
    ASSERT_EQ(img.WriteGrayTarga(gray, kNoReport), 1);
    ASSERT_EQ(img.WriteColorTarga(color, kNoReport), 1);
    const Bytes g = ReadAll(gray), c = ReadAll(color);
    ASSERT_EQ(g.size(), 18u + 6u);
    ASSERT_EQ(c.size(), 18u + 18u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(g[18 + i], img.GetData()[i]);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(c[18 + 3 * i + k], img.GetData()[i]);
    }
}

TEST(Writers, FrameSizesAndHeaderBytes) {
    struct Case {
        int w, h;
        std::size_t eightBit, color;
    };
    // 21840 pixels fill one block of the truecolor writer exactly; the others straddle blocks.
    const Case cases[] = {{720, 576, 414738, 1244178},
                          {1028, 768, 18 + 789504, 18 + 3 * 789504},
                          {21840, 1, 18 + 21840, 18 + 3 * 21840},
                          {21841, 1, 18 + 21841, 18 + 3 * 21841},
                          {0, 5, 18, 18}};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        GrayImage img;
        MakeImage(img, c.w, c.h);
        for (const WriterCase& wc : kWriters) {
            const std::string path = dir.path().toStdString() + "/x";
            ASSERT_EQ((img.*wc.writer)(path, kNoReport), 1);
            const Bytes b = ReadAll(path);
            const bool color = wc.writer == &GrayImage::WriteColorTarga;
            ASSERT_EQ(b.size(), color ? c.color : c.eightBit) << wc.name << " " << c.w;
            EXPECT_EQ(b[12], c.w % 256);
            EXPECT_EQ(b[13], c.w / 256);
            EXPECT_EQ(b[14], c.h % 256);
            EXPECT_EQ(b[15], c.h / 256);
            const std::size_t last = img.PixelCount();
            if (last) {
                EXPECT_EQ(b.back(), img.GetData()[last - 1]) << wc.name << " " << c.w;
            }
            if (color && last > 21840) {
                EXPECT_EQ(b[18 + 3 * 21840], img.GetData()[21840]);
            }
        }
    }
    GrayImage pal;
    MakeImage(pal, 720, 576);
    const std::string path = dir.path().toStdString() + "/pal.tga";
    ASSERT_EQ(pal.WriteGrayTarga(path, kNoReport), 1);
    const Bytes b = ReadAll(path);
    EXPECT_EQ(b[12], 0xD0);
    EXPECT_EQ(b[13], 0x02);
    EXPECT_EQ(b[14], 0x40);
    EXPECT_EQ(b[15], 0x02);
}

TEST(Writers, ExistingFileIsOverwritten) {
    GrayImage img;
    MakeImage(img, 2, 1);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/walk0001.tga";
    for (const WriterCase& wc : kWriters) {
        {
            std::ofstream out(path, std::ios::binary);
            out << std::string(5000, 'x');
        }
        ASSERT_EQ((img.*wc.writer)(path, kNoReport), 1);
        EXPECT_EQ(ReadAll(path).size(), wc.writer == &GrayImage::WriteColorTarga ? 24u : 20u);
    }
}

TEST(Writers, FilesThatCannotBeCreatedAreReportedAndNothingIsMade) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    {
        std::ofstream plain(base + "/plainfile");
        plain << "x";
    }
    GrayImage ok;
    MakeImage(ok, 2, 1);
    GrayImage lost;  // its pixels are gone while it keeps its size
    MakeImage(lost, 4, 4);
    lost.Free();
    GrayImage tooWide;  // the header holds at most 65535
    MakeImage(tooWide, 65536, 1);
    struct Case {
        const GrayImage* img;
        std::string path;
    };
    const Case cases[] = {{&ok, base + "/missing/walk0001.tga"},
                          {&ok, base + "/plainfile/walk1.tsd"},
                          {&ok, base + "/"},
                          {&lost, base + "/lost.tga"},
                          {&tooWide, base + "/wide.tga"}};
    for (const Case& c : cases) {
        for (const WriterCase& wc : kWriters) {
            ReportLog log;
            EXPECT_EQ((c.img->*wc.writer)(c.path, log.sink), 0) << c.path << " " << wc.name;
            EXPECT_EQ(log.texts, std::vector<std::string>{Message(c.path)});
        }
    }
    EXPECT_FALSE(std::filesystem::exists(base + "/missing"));
    EXPECT_FALSE(std::filesystem::exists(base + "/lost.tga"));
    EXPECT_FALSE(std::filesystem::exists(base + "/wide.tga"));
}

TEST(Writers, FullDeviceFailsOnceAlsoWhenOnlyTheCloseFails) {
    // 2 x 1 stays in the stream's buffer until the close; 720 x 576 fails on the write itself.
    for (int size : {1, 2}) {
        GrayImage img;
        MakeImage(img, size == 1 ? 2 : 720, size == 1 ? 1 : 576);
        for (const WriterCase& wc : kWriters) {
            ReportLog log;
            EXPECT_EQ((img.*wc.writer)("/dev/full", log.sink), 0) << wc.name;
            EXPECT_EQ(log.texts, std::vector<std::string>{Message("/dev/full")}) << wc.name;
        }
    }
}

TEST(Writers, WithoutSinkTheFailureIsOnlyTheResult) {
    GrayImage img;
    MakeImage(img, 2, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(img.WriteGrayTarga("/dev/full", {}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A disk that fills part-way: a file-size limit in a child process, whose result comes back
// as its exit status (result, number of reports, file size as expected).
TEST(Writers, FileSizeLimitLeavesThePartialFileAndOneMessage) {
    QTemporaryDir dir;
    constexpr rlim_t kLimit = 100000;
    for (const WriterCase& wc : kWriters) {
        const std::string path = dir.path().toStdString() + "/part_" + wc.name;
        std::fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            LimitFileSize(kLimit);
            int reports = 0;
            const WriteErrorSink sink = [&](const std::string& t) {
                if (t == Message(path)) ++reports;
            };
            GrayImage img;
            img.Create(720, 576);
            img.Fill(128);
            const int result = (img.*wc.writer)(path, sink);
            _exit(result == 0 && reports == 1 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << wc.name;
        EXPECT_EQ(std::filesystem::file_size(path), kLimit) << wc.name;
    }
}
