#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "ShellFixture.h"
#include "intake/CameraCapture.h"
#include "intake/CaptureSettingsDlg.h"
#include "intake/ImageImport.h"
#include "shell/CaptureMode.h"
#include "views/LumvaneView.h"
#include "views/OnionCompose.h"

namespace {

constexpr int kW = 80, kH = 60;          // the animation
constexpr int kPicW = 160, kPicH = 120;  // the video
constexpr int kDrawings = 4;

// Drawing k on paper: uneven paper (so levels matter) and a dark ring that moves along.
GrayPlane Drawing(int k) {
    GrayPlane p;
    p.Create(kPicW, kPicH);
    for (int y = 0; y < kPicH; ++y)
        for (int x = 0; x < kPicW; ++x) {
            int v = 200 + (x * 40) / kPicW;
            const int dx = x - (30 + 30 * k), dy = y - 60;
            const int d2 = dx * dx + dy * dy;
            if (d2 > 15 * 15 && d2 < 19 * 19) v = 40 + 5 * k;
            p.Row(y)[x] = static_cast<unsigned char>(v);
        }
    return p;
}

// The drawings as a lossless gray video at 4 pictures a second, made with the ffmpeg tool.
QString MakeVideo(const QString& dir) {
    for (int k = 0; k < kDrawings; ++k) {
        const GrayPlane p = Drawing(k);
        QFile f(QStringLiteral("%1/d%2.pgm").arg(dir).arg(k));
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(QStringLiteral("P5\n%1 %2\n255\n").arg(kPicW).arg(kPicH).toLatin1());
        f.write(reinterpret_cast<const char*>(p.pixels.data()),
                static_cast<qint64>(p.pixels.size()));
    }
    const QString out = dir + QStringLiteral("/drawings.mkv");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-framerate", "4", "-i", dir + "/d%d.pgm", "-c:v", "ffv1",
                  "-pix_fmt", "gray", out});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return QString();
    return out;
}

// The pixels of an encoded frame; none when it cannot be decoded.
std::vector<unsigned char> Pixels(const CompactImage& f) {
    GrayImage pixels;
    if (!f.Decode(pixels)) return {};
    return {pixels.GetData(), pixels.GetData() + pixels.PixelCount()};
}

// What the frame of drawing k must hold: what Import Drawings makes of the same drawing.
std::vector<unsigned char> Expected(const QString& dir, int k) {
    FramePlan plan;
    QString error;
    if (!PlanFrames({QStringLiteral("%1/d%2.pgm").arg(dir).arg(k)}, false, 1, plan, error))
        return {};
    ImportOptions options;
    std::vector<CompactImage> encoded;
    if (BuildFrames(plan, options, QSize(kW, kH), encoded, nullptr).result != IMPORT_DONE)
        return {};
    return Pixels(encoded[0]);
}

// Publishes a few plain pictures, then fails as an unplugged camera does.
class FailingSource : public ICaptureSource {
  public:
    FailingSource(const QSize& size, std::function<void()> notify, int pictures)
        : m_size(size), m_notify(std::move(notify)), m_left(pictures) {}
    bool Start(QString&) override {
        QMetaObject::invokeMethod(
            qApp, [n = m_notify] { n(); }, Qt::QueuedConnection);
        return true;
    }
    void Stop() override {}
    QString Name() const override { return QStringLiteral("Peg Cam"); }
    bool TakeLatest(GrayImage& frame, std::uint64_t& seq, std::int64_t& number) override {
        // One picture, which stays on screen.
        if (m_left <= 0 || seq >= 1) return false;
        frame.Create(m_size.width(), m_size.height());
        frame.Fill(100);
        seq = 1;
        number = 1;
        return true;
    }
    bool Failed(QString& error) const override {
        error = CaptureTextStopped(Name(), QStringLiteral("Input/output error"));
        return m_left <= 0;
    }
    // The next notification brings the failure.
    void Unplug() {
        m_left = 0;
        m_notify();
    }

  private:
    QSize m_size;
    std::function<void()> m_notify;
    int m_left;
};

struct CaptureModeTest : ShellFixture {
    QTemporaryDir dir;
    QString video;
    CCaptureMode* mode = nullptr;

    void SetUp() override {
        ShellFixture::SetUp();
        ASSERT_EQ(doc->CreateAnimation(kW, kH), 1);
        doc->SetUndoDepth(100);
        doc->m_bViewsReady = 1;
        mode = new CCaptureMode(*doc, frame.get(), [] { return false; });
        mode->SetDeviceRoot(dir.path());
    }
    void UseVideo() {
        video = MakeVideo(dir.path());
        ASSERT_FALSE(video.isEmpty());
        QSettings().setValue(QStringLiteral("Capture/Source"), video);
    }
    // Runs the window's events until the picture of drawing k is on screen.
    bool WaitFor(int k) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (mode->ShownNumber() == k) return true;
        }
        return false;
    }
    void Key(int key) { QTest::keyClick(frame->DrawingView(), static_cast<Qt::Key>(key)); }
    QString Status() const { return frame->StatusBar()->currentMessage(); }
};

}  // namespace

TEST_F(CaptureModeTest, KeysShootTakeBackAndEndThroughTheDocument) {
    UseVideo();
    // A key with the drawing that must be on screen when it is pressed (-1: any).
    struct Step {
        int drawing;
        int key;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<int> shots;  // drawings in frames 1.. after the steps
        bool capturing;
    };
    const Case cases[] = {
        {"three shots",
         {{0, Qt::Key_Space}, {1, Qt::Key_Return}, {3, Qt::Key_Enter}},
         {0, 1, 3},
         true},
        {"backspace takes the last shot back",
         {{1, Qt::Key_Space}, {2, Qt::Key_Space}, {-1, Qt::Key_Backspace}},
         {1},
         true},
        {"backspace twice and once more with nothing shot",
         {{0, Qt::Key_Space}, {-1, Qt::Key_Backspace}, {-1, Qt::Key_Backspace}, {2, Qt::Key_Space}},
         {2},
         true},
        {"escape ends, later keys keep their meanings",
         {{2, Qt::Key_Space}, {-1, Qt::Key_Escape}, {-1, Qt::Key_Space}},
         {2},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(doc->CreateAnimation(kW, kH), 1);
        doc->m_bViewsReady = 1;
        doc->m_bEraser = 0;
        mode->OnCapture();
        ASSERT_TRUE(mode->IsCapturing());
        EXPECT_EQ(Status(),
                  QStringLiteral("Capturing from drawings.mkv: Space shoots, Escape ends"));
        for (const Step& s : c.steps) {
            if (s.drawing >= 0) {
                ASSERT_TRUE(WaitFor(s.drawing))
                    << "capturing " << mode->IsCapturing() << ", shown " << mode->ShownNumber()
                    << ", messages " << ui.Texts().join('|').toStdString();
            }
            Key(s.key);
        }
        EXPECT_EQ(mode->IsCapturing(), c.capturing) << ui.Texts().join('|').toStdString();
        ASSERT_EQ(doc->m_nFrameCount, 1 + static_cast<int>(c.shots.size()));
        EXPECT_EQ(doc->m_nCurrentFrame, static_cast<int>(c.shots.size()));
        for (std::size_t i = 0; i < c.shots.size(); ++i)
            EXPECT_EQ(frames::Bytes(*doc, i + 1), Expected(dir.path(), c.shots[i]))
                << "frame " << i + 1;
        // Every shot is one undo step; taken-back shots leave none.
        EXPECT_EQ(doc->History().Size(), c.shots.size());
        EXPECT_TRUE(doc->IsModified());
        if (!c.capturing) {
            EXPECT_EQ(Status(), QStringLiteral("Ready"));
            EXPECT_EQ(doc->m_bEraser, 1);  // Space toggled the eraser again
        }
        mode->End();
    }
    EXPECT_EQ(ui.m_messages.size(), 0u);
}

TEST_F(CaptureModeTest, LivePictureIsShownOverTheOnionFramesAndACommandEndsCapture) {
    UseVideo();
    frames::Fill(*doc, 0, 128);
    mode->OnCapture();
    ASSERT_TRUE(WaitFor(1));
    mode->Shoot();
    // Onion skin on frame 0 under the live picture, kept relative after the next shot.
    doc->m_bOnionSkin = 1;
    doc->m_nOnionCount = 1;
    doc->m_onionFrames[0] = 0;
    ASSERT_TRUE(WaitFor(2));
    const QImage& shown = frame->DrawingView()->DisplayImage();
    std::vector<std::uint32_t> row(kW);
    const std::shared_ptr<const GrayImage> onionFrame = frames::Read(*doc, 0);
    for (int y : {0, kH / 2, kH - 1}) {
        const unsigned char* onion = onionFrame->GetData() + (kH - 1 - y) * kW;
        ComposeOnionRow(row.data(), mode->Shown().GetData() + (kH - 1 - y) * kW, &onion, 1, kW);
        EXPECT_EQ(std::memcmp(shown.constScanLine(y), row.data(), kW * 4), 0) << "row " << y;
    }
    mode->Shoot();
    EXPECT_EQ(doc->m_bOnionSkin, 1);
    ASSERT_EQ(doc->m_nOnionCount, 1);
    EXPECT_EQ(doc->m_onionFrames[0], 1);
    // A flip key shows frame 0 for a moment: new pictures wait until the view returns.
    doc->m_bOnionSkin = 0;
    frame->DrawingView()->ShowRelativeFrame(-2);
    const QImage peek = frame->DrawingView()->DisplayImage().copy();
    const std::int64_t before = mode->ShownNumber();
    ASSERT_TRUE(WaitFor(static_cast<int>((before + 1) % kDrawings)));
    EXPECT_EQ(frame->DrawingView()->DisplayImage(), peek);
    EXPECT_EQ(peek.pixel(0, 0), qRgb(128, 128, 128));
    frame->DrawingView()->ComposeFrame(doc->m_nCurrentFrame);  // as the return timer does
    ASSERT_TRUE(WaitFor(static_cast<int>((before + 2) % kDrawings)));
    EXPECT_NE(frame->DrawingView()->DisplayImage(), peek);
    doc->OnAddFrame();
    EXPECT_FALSE(mode->IsCapturing());
    EXPECT_EQ(doc->m_nFrameCount, 4);
}

TEST_F(CaptureModeTest, ColouredPencilIsDroppedAsTheImportDropsIt) {
    // One colour drawing: warm paper, a graphite ring and a blue construction line.
    QByteArray rgb;
    for (int y = 0; y < kPicH; ++y)
        for (int x = 0; x < kPicW; ++x) {
            const int d2 = (x - 80) * (x - 80) + (y - 60) * (y - 60);
            const char* c = "\xe6\xe1\xd7";
            if (d2 > 20 * 20 && d2 < 24 * 24) c = "\x32\x32\x32";
            if (y == 30 || y == 31) c = "\x3c\x5a\xdc";
            rgb.append(c, 3);
        }
    QFile f(dir.path() + QStringLiteral("/c0.ppm"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("P6\n%1 %2\n255\n").arg(kPicW).arg(kPicH).toLatin1() + rgb);
    f.close();
    const QString out = dir.path() + QStringLiteral("/colour.mkv");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-framerate", "4", "-i",
                                            f.fileName(), "-c:v", "ffv1", "-pix_fmt", "bgr0", out});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    QSettings().setValue(QStringLiteral("Capture/Source"), out);
    QSettings().setValue(QStringLiteral("Capture/DropColour"), 1);
    mode->OnCapture();
    ASSERT_TRUE(WaitFor(0));
    Key(Qt::Key_Space);
    ASSERT_EQ(doc->m_nFrameCount, 2);
    FramePlan plan;
    QString error;
    ASSERT_TRUE(PlanFrames({f.fileName()}, false, 1, plan, error));
    ImportOptions options;
    options.dropColour = true;
    std::vector<CompactImage> encoded;
    ASSERT_EQ(BuildFrames(plan, options, QSize(kW, kH), encoded, nullptr).result, IMPORT_DONE);
    const std::vector<unsigned char> shot = frames::Bytes(*doc, 1);
    EXPECT_EQ(shot, Pixels(encoded[0]));
    // The blue line is gone, the ring stays.
    ASSERT_EQ(shot.size(), static_cast<std::size_t>(kW) * kH);
    EXPECT_EQ(shot[(kH - 1 - 15) * kW + 40], 255);
}

TEST_F(CaptureModeTest, AtFiveHundredFramesSpaceShootsNothingAndSaysWhy) {
    UseVideo();
    std::vector<GrayImage> more(CLumvaneDoc::kMaxFrames - 1);
    for (GrayImage& f : more) ASSERT_EQ(f.Create(kW, kH), 1);
    ASSERT_EQ(doc->InsertFrames(0, more), 1);
    mode->OnCapture();
    ASSERT_TRUE(WaitFor(0));
    Key(Qt::Key_Space);
    EXPECT_EQ(doc->m_nFrameCount, CLumvaneDoc::kMaxFrames);
    EXPECT_EQ(Status(),
              QStringLiteral("An animation holds at most 500 frames: no more can be shot."));
    EXPECT_TRUE(mode->IsCapturing());
}

TEST_F(CaptureModeTest, SourcesThatCannotStartOrStopMidwaySayWhy) {
    // No camera in the device folder (a file named like one is no camera either).
    QFile fake(dir.path() + QStringLiteral("/video0"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.close();
    // Nor is a character device that is no video device.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.path() + QStringLiteral("/video1")));
    mode->OnCapture();
    EXPECT_FALSE(mode->IsCapturing());
    QSettings().setValue(QStringLiteral("Capture/Source"), dir.path() + "/missing.mkv");
    mode->OnCapture();
    EXPECT_FALSE(mode->IsCapturing());
    QSettings().setValue(QStringLiteral("Capture/Source"), fake.fileName());
    mode->OnCapture();
    EXPECT_FALSE(mode->IsCapturing());
    EXPECT_EQ(ui.Texts(),
              QStringList({QStringLiteral("No camera was found. Connect one, or choose a video "
                                          "file in Frames > Capture Settings."),
                           QStringLiteral("missing.mkv could not be opened: No such file or "
                                          "directory."),
                           QStringLiteral("video0 could not be opened: Invalid data found when "
                                          "processing input.")}));
    ui.Clear();

    // A camera unplugged after two shots: a message, capture ends, the shots stay.
    FailingSource* source = nullptr;
    mode->SetSourceFactory(
        [&](const CaptureSettings&, const QSize& size, std::function<void()> notify) {
            auto s = std::make_unique<FailingSource>(size, std::move(notify), 5);
            source = s.get();
            return s;
        });
    mode->OnCapture();
    ASSERT_TRUE(WaitFor(1));
    Key(Qt::Key_Space);
    Key(Qt::Key_Space);
    source->Unplug();
    QCoreApplication::processEvents();
    EXPECT_FALSE(mode->IsCapturing());
    EXPECT_EQ(ui.Texts(), QStringList(QStringLiteral("Peg Cam stopped sending pictures: "
                                                     "Input/output error. The frames shot so "
                                                     "far are kept.")));
    EXPECT_EQ(doc->m_nFrameCount, 3);
    EXPECT_EQ(frames::Read(*doc, 2)->GetData()[0], 100);
}

TEST(CaptureSettingsTest, DialogKeepsItsChoicesInTheCaptureSection) {
    QSettings().clear();
    CWinApp app(QStringLiteral("Lumvane"));
    CScriptedUi ui;
    ui.m_dialogScripts.push_back([](CDialog& d) {
        d.SetItemText(IDC_CAPTURE_SOURCE, QStringLiteral(" /tmp/pegs.mkv "));
        d.SetCheck(IDC_CAPTURE_ROTATE0, false);
        d.SetCheck(IDC_CAPTURE_ROTATE180, true);
        d.SetCheck(IDC_CAPTURE_MIRROR, true);
        d.SetCheck(IDC_CAPTURE_LEVELS, false);
        d.SetCheck(IDC_CAPTURE_DROPCOLOUR, true);
        d.SetItemText(IDC_CAPTURE_CROPLEFT, QStringLiteral("10"));
        d.SetItemText(IDC_CAPTURE_CROPTOP, QStringLiteral("20"));
        d.SetItemText(IDC_CAPTURE_CROPWIDTH, QStringLiteral("300"));
        d.SetItemText(IDC_CAPTURE_CROPHEIGHT, QStringLiteral("-2"));
        d.ClickButton(IDOK);  // refused: a negative height
        d.SetItemText(IDC_CAPTURE_CROPHEIGHT, QStringLiteral("200"));
        d.ClickButton(IDOK);
    });
    CaptureSettings s = LoadCaptureSettings();
    ASSERT_TRUE(RunCaptureSettingsDlg(s, {}, nullptr));
    SaveCaptureSettings(s);
    EXPECT_EQ(ui.Texts(),
              QStringList(QStringLiteral("Please enter an integer between 0 and 30000.")));
    const CaptureSettings back = LoadCaptureSettings();
    EXPECT_EQ(back.source, QStringLiteral("/tmp/pegs.mkv"));
    EXPECT_EQ(back.rotate, 180);
    EXPECT_TRUE(back.mirror);
    EXPECT_FALSE(back.autoLevels);
    EXPECT_TRUE(back.dropColour);
    EXPECT_EQ(back.crop, QRect(10, 20, 300, 200));
    EXPECT_EQ(QSettings().value(QStringLiteral("Capture/Crop")).toString(),
              QStringLiteral("10,20,300,200"));
    QSettings().clear();
}

TEST(CaptureTurnTest, PicturesTurnMirrorAndCropInThatOrder) {
    // 3 x 2:  a b c
    //         d e f
    GrayPlane in;
    in.Create(3, 2);
    const unsigned char src[] = {'a', 'b', 'c', 'd', 'e', 'f'};
    std::memcpy(in.pixels.data(), src, 6);
    struct Case {
        int rotate;
        bool mirror;
        QRect crop;
        int w, h;
        const char* out;
    };
    const Case cases[] = {
        {0, false, {}, 3, 2, "abcdef"},         {90, false, {}, 2, 3, "daebfc"},
        {180, false, {}, 3, 2, "fedcba"},       {270, false, {}, 2, 3, "cfbead"},
        {0, true, {}, 3, 2, "cbafed"},          {90, true, {}, 2, 3, "adbecf"},
        {0, false, {1, 0, 2, 2}, 2, 2, "bcef"}, {90, false, {0, 1, 2, 1}, 2, 1, "eb"},
        {0, false, {2, 1, 9, 9}, 1, 1, "f"},    {0, false, {5, 5, 1, 1}, 3, 2, "abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotate);
        GrayPlane out;
        ASSERT_TRUE(TurnPicture(in, c.rotate, c.mirror, c.crop, out));
        EXPECT_EQ(out.width, c.w);
        EXPECT_EQ(out.height, c.h);
        EXPECT_EQ(std::string(out.pixels.begin(), out.pixels.end()), std::string(c.out));
    }
}
