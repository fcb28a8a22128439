// The window-less import: its arguments and the program run on real files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "document/LumvaneDoc.h"
#include "intake/ImportCommandLine.h"
#include "intake/ImportTestFiles.h"
#include "raster/GrayImage.h"
#include "support/FrameAccess.h"

using namespace importtest;

namespace {

TEST(ImportCommandLine, ParsesOptionsAndReportsEveryError) {
    struct Case {
        QStringList args;
        bool import;
        QString error;  // empty: parses
    };
    const Case cases[] = {
        {{"walk.anm"}, false, ""},
        {{"--export", "png", "--out", "d", "a.anm"}, false, ""},
        {{"--", "--import"}, false, ""},
        {{"--out", "--import", "a.png"}, false, ""},  // a file named --import
        {{"--import", "--out", "a.anm", "a.png"}, true, ""},
        {{"a.png", "--import", "--out=a.anm", "--", "-b.png"}, true, ""},
        {{"--import", "a.png"}, true, "--import needs --out FILE.anm"},
        {{"--import", "--out", "", "a.png"}, true, "--out needs a file"},
        {{"--import", "--out", "a.anm"}, true, "no images given"},
        {{"--import", "--out", "a.anm", "--out", "b.anm", "a.png"},
         true,
         "--out given more than once"},
        {{"--import", "--import", "--out", "a.anm", "a.png"},
         true,
         "--import given more than once"},
        {{"--import=yes", "--out", "a.anm", "a.png"}, false, ""},
        {{"--import", "--by-number=1", "--out", "a.anm", "a.png"},
         true,
         "--by-number takes no value"},
        {{"--import", "--out", "a.anm", "a.png", "--size"}, true, "--size needs a value"},
        {{"--import", "--out", "a.anm", "--size", "640", "a.png"},
         true,
         "--size must be WIDTHxHEIGHT, each 1 to 10000, not '640'"},
        {{"--import", "--out", "a.anm", "--size", "0x480", "a.png"},
         true,
         "--size must be WIDTHxHEIGHT, each 1 to 10000, not '0x480'"},
        {{"--import", "--out", "a.anm", "--size", "640x10001", "a.png"},
         true,
         "--size must be WIDTHxHEIGHT, each 1 to 10000, not '640x10001'"},
        {{"--import", "--out", "a.anm", "--size", "+640x480", "a.png"},
         true,
         "--size must be WIDTHxHEIGHT, each 1 to 10000, not '+640x480'"},
        {{"--import", "--out", "a.anm", "--fit", "stretch", "a.png"},
         true,
         "--fit must be inside, cover or none, not 'stretch'"},
        {{"--import", "--out", "a.anm", "--levels", "manual", "a.png"},
         true,
         "--levels must be auto or none, not 'manual'"},
        {{"--import", "--out", "a.anm", "--register", "corners", "a.png"},
         true,
         "--register must be none or pegs, not 'corners'"},
        {{"--import", "--out", "a.anm", "--export", "png", "a.png"},
         true,
         "unknown option '--export' for --import"},
        {{"--import", "--out", "a.anm", "-x", "a.png"}, true, "unknown option '-x' for --import"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ImportCommandParse p = ParseImportCommandLine(c.args);
        EXPECT_EQ(p.import, c.import);
        if (!c.import) continue;
        EXPECT_EQ(p.ok, c.error.isEmpty());
        EXPECT_EQ(p.error.toStdString(), c.error.toStdString());
    }
    const ImportCommandParse all = ParseImportCommandLine(
        {"--import", "--out=x.anm", "--size=641x480", "--fit", "cover", "--levels=none",
         "--drop-color", "--register", "pegs", "--by-number", "a.png", "dir"});
    ASSERT_TRUE(all.ok);
    EXPECT_EQ(all.command.out, "x.anm");
    EXPECT_EQ(all.command.images, (QStringList{"a.png", "dir"}));
    EXPECT_EQ(all.command.options.size, QSize(641, 480));
    EXPECT_EQ(all.command.options.fit, FitMode::Cover);
    EXPECT_FALSE(all.command.options.autoLevels);
    EXPECT_TRUE(all.command.options.dropColour);
    EXPECT_TRUE(all.command.options.registerPegs);
    EXPECT_TRUE(all.command.options.byNumber);
    const ImportCommandParse defaults = ParseImportCommandLine({"--import", "--out", "o", "a"});
    EXPECT_EQ(defaults.command.options.fit, FitMode::Inside);
    EXPECT_TRUE(defaults.command.options.autoLevels);
    EXPECT_FALSE(defaults.command.options.dropColour || defaults.command.options.registerPegs ||
                 defaults.command.options.byNumber);
    EXPECT_TRUE(defaults.command.options.size.isEmpty());
}

#ifdef LUMVANE_EXE
struct RunResult {
    int status;
    QString out;
    QString err;
};

RunResult Lumvane(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMVANE_EXE), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -100,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ImportProgram : public testing::Test {
  protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
    // Drawing n: a gray bar whose darkness tells which it is.
    QString Drawing(const QString& name, int tone) {
        QImage image(24, 10, QImage::Format_RGB32);
        image.fill(qRgb(235, 235, 235));
        for (int y = 3; y < 7; ++y)
            for (int x = 2; x < 22; ++x) image.setPixel(x, y, qRgb(tone, tone, tone));
        EXPECT_TRUE(image.save(Path(name)));
        return Path(name);
    }
};

TEST_F(ImportProgram, NumberedSetWithHoldsBecomesAnAnimation) {
    // Drawings 1, 3 and 4 on twos and a hold: six frames 1 1 3 4 4 6.
    const QStringList files = {Drawing("bounce_001.png", 10), Drawing("bounce_003.png", 60),
                               Drawing("bounce_004.png", 110), Drawing("bounce_006.png", 160)};
    const QString out = Path("bounce.anm");
    const RunResult r = Lumvane(
        {"--import", "--out", out, "--levels", "none", "--fit", "none", "--by-number", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "");
    CLumvaneDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(out));
    ASSERT_EQ(doc.m_nFrameCount, 6);
    EXPECT_EQ(doc.m_nWidth, 24);
    EXPECT_EQ(doc.m_nHeight, 10);
    EXPECT_EQ(doc.m_nCurrentFrame, 0);
    const int tones[] = {10, 10, 60, 110, 110, 160};
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(f);
        const auto frame = frames::Read(doc, f);
        const unsigned char* p = frame->GetData();
        EXPECT_EQ(p[5 * 24 + 10], tones[f]);  // inside the bar
        EXPECT_EQ(p[0], 235);                 // paper as it was
    }
}

TEST_F(ImportProgram, RefusesAndLeavesTheOldFileAsItWas) {
    const QString a = Drawing("a1.png", 20);
    Drawing("b1.png", 40);
    const QString out = Path("old.anm");
    ASSERT_TRUE(WriteBytes(out, "the old animation"));
    ASSERT_TRUE(WriteBytes(Path("broken2.png"), "not a picture"));
    struct Case {
        const char* what;
        QStringList args;
        int status;
        QString err;
    };
    const QString kTry = QStringLiteral("Try 'lumvane --help' for more information.\n");
    const Case cases[] = {
        {"bad argument",
         {"--import", "--out", out, "--fit", "x", a},
         2,
         "lumvane: --fit must be inside, cover or none, not 'x'\n" + ImportCommandHelp() + kTry},
        {"one number twice",
         {"--import", "--out", out, "--by-number", a, Path("b1.png")},
         1,
         "lumvane: " + ImportTextSameNumber(a, Path("b1.png"), 1) + "\n"},
        {"unreadable image",
         {"--import", "--out", out, a, Path("broken2.png")},
         1,
         "lumvane: " + ImportTextUnreadable(Path("broken2.png")) + "\n"},
        {"missing image",
         {"--import", "--out", out, Path("none.png")},
         1,
         "lumvane: " + ImportTextNotFound(Path("none.png")) + "\n"},
        {"output is an input",
         {"--import", "--out", a, a},
         1,
         "lumvane: the output " + a + " is one of the images\n"},
        {"output folder missing",
         {"--import", "--out", Path("no/x.anm"), a},
         1,
         "lumvane: output directory " + Path("no") + " does not exist\n"},
        {"output is a folder",
         {"--import", "--out", dir.path(), a},
         1,
         "lumvane: " + dir.path() + " is a directory\n"},
    };
    const QByteArray pictureBytes = ReadAll(a);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = Lumvane(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.toStdString(), c.err.toStdString());
        EXPECT_EQ(ReadAll(out), "the old animation");
        EXPECT_EQ(ReadAll(a), pictureBytes);
    }
    // A good set replaces it.
    const RunResult ok = Lumvane({"--import", "--out", out, "--size", "41x20", a});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    CLumvaneDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(out));
    EXPECT_EQ(doc.m_nWidth, 44);  // up to a multiple of 4
    EXPECT_EQ(doc.m_nHeight, 20);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".anm").size(), 1);
}
#endif

}  // namespace
