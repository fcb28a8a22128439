// Reading, ordering and building frames of drawings from image files.
#include <gtest/gtest.h>

#include <QDir>
#include <QImageWriter>
#include <QTemporaryDir>

#include "intake/ImageImport.h"
#include "intake/ImportTestFiles.h"
#include "raster/CompactImage.h"
#include "raster/GrayImage.h"
#include "support/ScanMaker.h"

using namespace importtest;

namespace {

QString TestData(const QString& name) {
    return QString::fromLocal8Bit(qgetenv("LUMVANE_TEST_DATA")) + QStringLiteral("/intake/") + name;
}

TEST(ImageImport, NaturalOrderReadsNumbersAsNumbers) {
    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"walk2.png", "walk10.png", true},
        {"walk10.png", "walk2.png", false},
        {"Walk1.png", "walk2.png", true},
        {"walk2.png", "Walk10.png", true},
        {"a010.png", "a9.png", false},
        {"a", "a1", true},
        {"x7y2", "x7y10", true},
        {"scan0009.jpg", "scan0010.jpg", true},
        {"b1", "a2", false},
        {"same", "same", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " < " << c.b);
        EXPECT_EQ(NaturalLess(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.less);
    }
}

class ImportFiles : public testing::Test {
  protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Png(const QString& name, int dark = 40, int light = 230, int w = 8, int h = 4) {
        const QString p = Path(name);
        EXPECT_TRUE(TwoTone(w, h, QImage::Format_Grayscale8, dark, light).save(p, "PNG"));
        return p;
    }
};

TEST_F(ImportFiles, OrdersByNameOrByNumberWithHolds) {
    struct Case {
        const char* what;
        QStringList names;
        bool byNumber;
        int room;
        QStringList files;  // in frame order, each once
        std::vector<int> source;
        QString error;  // with %1, %2 the first two names' paths
    };
    const Case cases[] = {
        {"name order",
         {"w10.png", "w2.png", "w1.png"},
         false,
         500,
         {"w1.png", "w2.png", "w10.png"},
         {0, 1, 2},
         ""},
        {"numbers on twos hold",
         {"b7.png", "b1.png", "b3.png", "b4.png"},
         true,
         500,
         {"b1.png", "b3.png", "b4.png", "b7.png"},
         {0, 0, 1, 2, 2, 2, 3},
         ""},
        {"the last run of digits counts",
         {"s2_010.png", "s2_011.png", "s1_013.png"},
         true,
         500,
         {"s2_010.png", "s2_011.png", "s1_013.png"},
         {0, 1, 1, 2},
         ""},
        {"one number twice",
         {"a01.png", "b1.png"},
         true,
         500,
         {},
         {},
         "%1 and %2 both have the number 1."},
        {"no number", {"c1.png", "key.png"}, true, 500, {}, {}, "%2 has no number in its name."},
        {"more frames than room",
         {"d1.png", "d9.png"},
         true,
         8,
         {},
         {},
         "The drawings make 9 frames, but an animation holds at most 500 frames: 8 more fit."},
        {"more files than room",
         {"e1.png", "e2.png", "e3.png"},
         false,
         2,
         {},
         {},
         "The drawings make 3 frames, but an animation holds at most 500 frames: 2 more fit."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList paths;
        for (const QString& n : c.names) paths << Png(n);
        FramePlan plan;
        QString error;
        const bool ok = PlanFrames(paths, c.byNumber, c.room, plan, error);
        if (!c.error.isEmpty()) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, QString(c.error).replace("%1", paths[0]).replace("%2", paths[1]));
            continue;
        }
        ASSERT_TRUE(ok) << error.toStdString();
        QStringList names;
        for (const QString& f : plan.files) names << QFileInfo(f).fileName();
        EXPECT_EQ(names, c.files);
        EXPECT_EQ(plan.source, c.source);
        ASSERT_EQ(plan.sizes.size(), static_cast<std::size_t>(plan.files.size()));
        EXPECT_EQ(plan.sizes[0], QSize(8, 4));
    }
}

TEST_F(ImportFiles, TooManyIsRefusedBeforeAnythingIsRead) {
    // 501 files that are not images: the count is refused, not the first file.
    QStringList paths;
    for (int i = 1; i <= 501; ++i) {
        paths << Path(QStringLiteral("x%1.png").arg(i));
        ASSERT_TRUE(WriteBytes(paths.back(), "not a picture"));
    }
    FramePlan plan;
    QString error;
    EXPECT_FALSE(PlanFrames(paths, false, 500, plan, error));
    EXPECT_EQ(error,
              "The drawings make 501 frames, but an animation holds at most 500 frames: 500 more "
              "fit.");
    paths.removeLast();
    EXPECT_FALSE(PlanFrames(paths, false, 500, plan, error));
    EXPECT_EQ(error, ImportTextUnreadable(paths[0]));
}

TEST_F(ImportFiles, BadFilesAreNamedAndRefused) {
    const QString png = Png("good.png");
    QFile good(png);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray pngBytes = good.readAll();
    QByteArray jpegBytes;
    {
        QBuffer b(&jpegBytes);
        b.open(QIODevice::WriteOnly);
        TwoTone(64, 64, QImage::Format_RGB32, 0, 255).save(&b, "JPEG");
    }
    QDir(dir.path()).mkdir("empty");
    ASSERT_TRUE(WriteBytes(Path("empty/notes.txt"), "text"));
    struct Case {
        const char* what;
        QString name;
        QByteArray bytes;  // empty name: nothing written
        int expect;  // 0 not found, 1 unreadable, 2 damaged, 3 empty, 4 too large, 5 no images
    };
    const Case cases[] = {
        {"missing", "missing.png", {}, 0},
        {"text named png", "text.png", "hello, this is not a picture", 1},
        {"zero bytes", "zero.png", "", 3},
        {"truncated png", "cut.png", pngBytes.left(pngBytes.size() - 20), 2},
        {"truncated jpeg", "cut.jpg", jpegBytes.left(jpegBytes.size() / 2), 2},
        {"100,000 x 100,000 header", "huge.png", PngHeaderOnly(100000, 100000), 4},
        {"30,001 pixels wide", "wide.png", PngHeaderOnly(30001, 10), 4},
        {"folder without images", "empty", {}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = Path(c.name);
        if (c.expect != 0 && c.expect != 5) {
            ASSERT_TRUE(WriteBytes(path, c.bytes));
        }
        QString expected;
        switch (c.expect) {
            case 0:
                expected = ImportTextNotFound(path);
                break;
            case 1:
                expected = ImportTextUnreadable(path);
                break;
            case 2:
                expected = ImportTextDamaged(path);
                break;
            case 3:
                expected = ImportTextEmpty(path);
                break;
            case 4: {
                const bool huge = c.name == "huge.png";
                expected = ImportTextTooLarge(path, huge ? 100000 : 30001, huge ? 100000 : 10);
                break;
            }
            default:
                expected = ImportTextNoImages(path);
        }
        QStringList files;
        QString error;
        FramePlan plan;
        const bool listed = CollectImageFiles({png, path}, files, error);
        const bool planned = listed && PlanFrames(files, false, 500, plan, error);
        GrayPlane gray;
        const bool read = planned && ReadDrawing(path, false, gray, error);
        EXPECT_FALSE(read);
        EXPECT_EQ(error.toStdString(), expected.toStdString());
    }
    // The exact texts.
    EXPECT_EQ(ImportTextTooLarge("/s/a.png", 100000, 100000),
              "/s/a.png is 100000 x 100000 pixels; images of up to 30000 pixels a side and 40 "
              "million pixels can be imported.");
    EXPECT_EQ(ImportTextNotFound("a.png"), "a.png was not found.");
    EXPECT_EQ(ImportTextUnreadable("a.png"), "a.png is not an image that can be read.");
    EXPECT_EQ(ImportTextDamaged("a.png"), "a.png is damaged or incomplete.");
    EXPECT_EQ(ImportTextEmpty("a.png"), "a.png holds an image without pixels.");
    EXPECT_EQ(ImportTextNoImages("/d"), "/d holds no images.");
    EXPECT_EQ(ImportTextNoMemory(12, 1024, 768),
              "There is not enough memory to import 12 frames of 1024 x 768.");
    EXPECT_EQ(ImportTextNoPegs({"a.png", "b.png"}),
              "The peg holes were not found in these drawings, which were imported unmoved:\n"
              "a.png\nb.png");
    EXPECT_EQ(ImportTextProgress(3, 12), "Importing drawing 3 of 12");
    EXPECT_EQ(ImportTextCancelled(), "The import was cancelled; the animation is as it was.");
}

TEST_F(ImportFiles, ReadsEveryFormatAsLuma) {
    struct Case {
        const char* what;
        const char* file;
        const char* writer;  // null: the file is prepared below
        QImage image;
        int left, right, tolerance;
    };
    QImage colour(8, 4, QImage::Format_RGB32);
    colour.fill(qRgb(0, 255, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) colour.setPixel(x, y, qRgb(255, 0, 0));
    QImage alpha(8, 4, QImage::Format_ARGB32);
    alpha.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) alpha.setPixel(x, y, qRgba(0, 0, 0, 255));
    const Case cases[] = {
        {"8-bit gray PNG", "g8.png", "PNG", TwoTone(8, 4, QImage::Format_Grayscale8, 40, 230), 40,
         230, 0},
        {"16-bit gray PNG", "g16.png", "PNG", TwoTone(8, 4, QImage::Format_Grayscale16, 40, 230),
         40, 230, 0},
        {"16-bit colour PNG", "c16.png", "PNG", TwoTone(8, 4, QImage::Format_RGBX64, 40, 230), 40,
         230, 0},
        {"colour PNG: BT.709 of red and green", "rgb.png", "PNG", colour, 54, 182, 0},
        {"alpha over white", "alpha.png", "PNG", alpha, 0, 255, 0},
        {"BMP", "a.bmp", "BMP", TwoTone(8, 4, QImage::Format_RGB32, 40, 230), 40, 230, 0},
        {"TIFF", "a.tif", "TIFF", TwoTone(8, 4, QImage::Format_RGB32, 40, 230), 40, 230, 0},
        {"WebP", "a.webp", "WEBP", TwoTone(8, 4, QImage::Format_RGB32, 40, 230), 40, 230, 2},
        {"JPEG", "a.jpg", "JPEG", TwoTone(16, 8, QImage::Format_RGB32, 40, 230), 40, 230, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = Path(c.file);
        QImageWriter writer(path, c.writer);
        writer.setQuality(100);
        ASSERT_TRUE(writer.write(c.image)) << writer.errorString().toStdString();
        GrayPlane gray;
        QString error;
        ASSERT_TRUE(ReadDrawing(path, false, gray, error)) << error.toStdString();
        ASSERT_EQ(gray.width, c.image.width());
        ASSERT_EQ(gray.height, c.image.height());
        for (int y = 0; y < gray.height; ++y) {
            EXPECT_NEAR(gray.At(1, y), c.left, c.tolerance);
            EXPECT_NEAR(gray.At(gray.width - 2, y), c.right, c.tolerance);
        }
    }
}

TEST_F(ImportFiles, CmykAndTurnedJpegsShowAsTheyLook) {
    GrayPlane gray;
    QString error;
    // Black left half, white right half, stored as CMYK.
    ASSERT_TRUE(ReadDrawing(TestData("cmyk.jpg"), false, gray, error)) << error.toStdString();
    ASSERT_EQ(gray.width, 8);
    EXPECT_LT(gray.At(1, 4), 24);
    EXPECT_GT(gray.At(6, 4), 231);
    // Stored 16 x 8 with the dark part left, to be shown turned a quarter clockwise: 8 x 16
    // with the dark part on top.
    const QString turned = Path("turned.jpg");
    ASSERT_TRUE(
        WriteBytes(turned, JpegWithOrientation(TwoTone(16, 8, QImage::Format_RGB32, 0, 255), 6)));
    FramePlan plan;
    ASSERT_TRUE(PlanFrames({turned}, false, 500, plan, error));
    EXPECT_EQ(plan.sizes[0], QSize(8, 16));
    ASSERT_TRUE(ReadDrawing(turned, false, gray, error));
    ASSERT_EQ(gray.width, 8);
    ASSERT_EQ(gray.height, 16);
    EXPECT_LT(gray.At(4, 1), 24);
    EXPECT_GT(gray.At(4, 14), 231);
}

TEST(ImageImport, DefaultSizeRoundsTheWidthUpToAMultipleOfFour) {
    EXPECT_EQ(DefaultFrameSize(QSize(1920, 1080)), QSize(1920, 1080));
    EXPECT_EQ(DefaultFrameSize(QSize(641, 480)), QSize(644, 480));
    EXPECT_EQ(DefaultFrameSize(QSize(1, 1)), QSize(4, 1));
}

// Scans on disk: every drawing a pose of the ball, some shifted and turned.
QStringList WriteScans(const QString& dir, int count, double shift, double turn,
                       bool holes = true) {
    QStringList files;
    for (int i = 0; i < count; ++i) {
        scanmaker::ScanRecipe recipe;
        recipe.pose = i;
        recipe.seed = static_cast<std::uint32_t>(i + 3);
        recipe.holes = holes ? -1 : 0;
        if (i > 0) {
            recipe.shiftX = i % 2 ? shift : -shift;
            recipe.angleDeg = i % 2 ? turn : -turn;
        }
        const scanmaker::Scan scan = scanmaker::MakeScan(recipe);
        QImage image(scan.rgb.data(), scan.width, scan.height, scan.width * 3,
                     QImage::Format_RGB888);
        files << QStringLiteral("%1/scan%2.png").arg(dir).arg(i + 1);
        image.save(files.back());
    }
    return files;
}

TEST_F(ImportFiles, BuildsFramesAsideWithHoldsAndNamesUnregisteredDrawings) {
    QStringList files = WriteScans(dir.path(), 3, 20, 1.5);
    // A fourth drawing without holes, numbered 6: frames 4 and 5 hold drawing 3.
    {
        scanmaker::ScanRecipe recipe;
        recipe.holes = 0;
        const scanmaker::Scan scan = scanmaker::MakeScan(recipe);
        QImage(scan.rgb.data(), scan.width, scan.height, scan.width * 3, QImage::Format_RGB888)
            .save(Path("scan6.png"));
        files << Path("scan6.png");
    }
    FramePlan plan;
    QString error;
    ASSERT_TRUE(PlanFrames(files, true, 500, plan, error)) << error.toStdString();
    ASSERT_EQ(plan.source, (std::vector<int>{0, 1, 2, 2, 2, 3}));
    ImportOptions options;
    options.registerPegs = true;
    options.dropColour = true;
    const QSize size = DefaultFrameSize(plan.sizes[0]);
    std::vector<CompactImage> encoded;
    int calls = 0;
    const ImportOutcome out = BuildFrames(plan, options, size, encoded, [&](int done, int count) {
        EXPECT_EQ(count, 4);
        EXPECT_LE(done, 4);
        ++calls;
        return true;
    });
    ASSERT_EQ(out.result, IMPORT_DONE) << out.error.toStdString();
    EXPECT_GT(calls, 0);
    EXPECT_EQ(out.unregistered, QStringList{Path("scan6.png")});
    ASSERT_EQ(encoded.size(), 6u);
    const std::size_t bytes = static_cast<std::size_t>(size.width()) * size.height();
    std::vector<GrayImage> frames(6);
    for (std::size_t f = 0; f < 6; ++f) ASSERT_TRUE(encoded[f].Decode(frames[f]));
    for (const GrayImage& f : frames) {
        ASSERT_EQ(f.GetWidth(), 640);
        ASSERT_EQ(f.GetHeight(), 360);
    }
    // Holds are the drawing before, sharing its encoding (the document never changes one).
    for (int f : {3, 4}) EXPECT_TRUE(encoded[f].SameAs(encoded[2]));
    EXPECT_NE(0, std::memcmp(frames[1].GetData(), frames[2].GetData(), bytes));
    // Registered: the round hole of every moved drawing sits where the first one's is, so the
    // frames agree there to the pixel (the hole is 12 pixels across, black on white).
    const int hx = 320, hy = 360 - 1 - 30;  // bottom-up row of the hole 0.6 inch from the top
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        EXPECT_LT(frames[f].GetData()[hy * 640 + hx], 40);
        EXPECT_GT(frames[f].GetData()[hy * 640 + hx + 12], 215);
        EXPECT_GT(frames[f].GetData()[(hy + 12) * 640 + hx], 215);
    }
}

TEST_F(ImportFiles, CancelAndFailureLeaveNoFrames) {
    QStringList files = WriteScans(dir.path(), 4, 0, 0, false);
    FramePlan plan;
    QString error;
    ASSERT_TRUE(PlanFrames(files, false, 500, plan, error));
    std::vector<CompactImage> frames;
    ImportOutcome out =
        BuildFrames(plan, ImportOptions(), QSize(320, 180), frames, [](int, int) { return false; });
    EXPECT_EQ(out.result, IMPORT_CANCELLED);
    EXPECT_EQ(out.error, ImportTextCancelled());
    EXPECT_TRUE(frames.empty());
    // The third file is damaged after the plan was made: the import fails naming it.
    ASSERT_TRUE(WriteBytes(plan.files[2], "broken"));
    out = BuildFrames(plan, ImportOptions(), QSize(320, 180), frames, {});
    EXPECT_EQ(out.result, IMPORT_FAILED);
    EXPECT_EQ(out.error, ImportTextUnreadable(plan.files[2]));
    EXPECT_TRUE(frames.empty());
}

}  // namespace
