// The command-line modes: every argument error, and the program run without a display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>

#include "document/LumvaneDoc.h"
#include "export/CommandLine.h"
#include "export/ExportSequence.h"
#include "export/MovieProbe.h"
#include "playback/WavBuilder.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

namespace fs = std::filesystem;

TEST(CommandLine, ParsesModesAndReportsEveryError) {
    using M = CommandLineOptions::Mode;
    const QString letters = "only letters";  // stands for the dialog's text
    struct Case {
        QStringList args;
        M mode;
        QString error;  // empty: parses
    } cases[] = {
        // Not a command-line mode: the window gets the arguments.
        {{}, M::None, ""},
        {{"walk.anm"}, M::None, ""},
        {{"-platform", "offscreen", "walk.anm"}, M::None, ""},
        {{"--bogus", "walk.anm"}, M::None, ""},
        {{"--", "--info", "walk.anm"}, M::None, ""},
        // Help wins over everything else before "--".
        {{"--help"}, M::Help, ""},
        {{"-h"}, M::Help, ""},
        {{"--export", "png", "--help"}, M::Help, ""},
        {{"--version"}, M::Version, ""},
        {{"--info", "a.anm", "--version"}, M::Version, ""},
        {{"--", "--version"}, M::None, ""},
        {{"--info", "walk.anm"}, M::Info, ""},
        {{"walk.anm", "--info"}, M::Info, ""},
        {{"--info", "--", "-odd.anm"}, M::Info, ""},
        {{"--info"}, M::Info, "no animation file given"},
        {{"--info", "a.anm", "b.anm"}, M::Info, "one animation file at a time, not 2"},
        {{"--info=yes", "a.anm"}, M::Info, "--info takes no value"},
        {{"--info", "--info", "a.anm"}, M::Info, "--info given more than once"},
        {{"--info", "--bogus", "a.anm"}, M::Info, "unknown option '--bogus'"},
        {{"--info", "-x", "a.anm"}, M::Info, "unknown option '-x'"},
        {{"--info", "--export", "tsd", "--out", "d", "a.anm"},
         M::Info,
         "--info and --export cannot be used together"},
        {{"--info", "--out", "d", "a.anm"}, M::Info, "--out only goes with --export"},
        {{"--name", "walk", "a.anm"}, M::Info, "--name only goes with --export"},
        {{"--start", "1", "a.anm"}, M::Info, "--start only goes with --export"},
        {{"--fps", "25", "a.anm"}, M::Info, "--fps only goes with --export"},
        {{"--sound", "t.wav", "a.anm"}, M::Info, "--sound only goes with --export"},
        {{"--export"}, M::Export, "--export needs a value"},
        {{"--export", "tsd", "--out"}, M::Export, "--out needs a value"},
        {{"--export", "jpg", "--out", "d", "a.anm"},
         M::Export,
         "unknown export format 'jpg' (use tsd, tga-gray, tga-color, mp4, webm, gif or png)"},
        {{"--export", "tsd", "a.anm"}, M::Export, "--export needs --out DIR"},
        {{"--export", "tsd", "--out", "", "a.anm"}, M::Export, "--out needs a directory"},
        {{"--export", "tsd", "--out", "d", "--out", "e", "a.anm"},
         M::Export,
         "--out given more than once"},
        {{"--export", "tsd", "--export=tsd", "--out", "d", "a.anm"},
         M::Export,
         "--export given more than once"},
        {{"--export", "tsd", "--out", "d"}, M::Export, "no animation file given"},
        {{"--export", "tsd", "--out", "d", "--name", "walk1", "a.anm"}, M::Export, letters},
        {{"--export", "tsd", "--out", "d", "--name", "my walk", "a.anm"}, M::Export, letters},
        {{"--export", "tsd", "--out", "d", "--name", "abcdefghijklmnopqrstuvwxyz", "a.anm"},
         M::Export,
         "Please enter no more than 25 characters."},
        {{"--export", "tsd", "--out", "d", "--start", "abc", "a.anm"},
         M::Export,
         "Please enter a positive integer."},
        {{"--export", "tsd", "--out", "d", "--start", "-1", "a.anm"},
         M::Export,
         "Please enter a positive integer."},
        {{"--export", "tsd", "--out", "d", "--start=", "a.anm"},
         M::Export,
         "Please enter a positive integer."},
        {{"--export", "tsd", "--out", "d", "--start", "10000", "a.anm"},
         M::Export,
         "Please enter an integer between 0 and 9999."},
        // The dialog's order: length, number, letters.
        {{"--export", "tsd", "--out", "d", "--start", "x", "--name", "abcdefghijklmnopqrstuvwxyz",
          "a.anm"},
         M::Export,
         "Please enter no more than 25 characters."},
        {{"--export", "tsd", "--out", "d", "--start", "x", "--name", "a1", "a.anm"},
         M::Export,
         "Please enter a positive integer."},
        // Movies: a file, a rate with the dialog's texts, sound for MP4 and WebM only.
        {{"--export", "mp4", "a.anm"}, M::Movie, "--export needs --out FILE"},
        {{"--export", "gif", "--out=", "a.anm"}, M::Movie, "--out needs a file"},
        {{"--export", "png", "--out=", "a.anm"}, M::Movie, "--out needs a directory"},
        {{"--export", "mp4", "--out", "m.mp4", "--fps", "0", "a.anm"},
         M::Movie,
         "Please enter an integer between 1 and 100."},
        {{"--export", "gif", "--out", "m.gif", "--fps=101", "a.anm"},
         M::Movie,
         "Please enter an integer between 1 and 100."},
        {{"--export", "webm", "--out", "m.webm", "--fps", "2.5", "a.anm"},
         M::Movie,
         "Please enter an integer."},
        {{"--export", "gif", "--out", "m.gif", "--sound", "t.wav", "a.anm"},
         M::Movie,
         "--sound only goes with --export mp4 or webm"},
        {{"--export", "png", "--out", "d", "--sound", "t.wav", "a.anm"},
         M::Movie,
         "--sound only goes with --export mp4 or webm"},
        {{"--export", "png", "--out", "d", "--fps", "25", "a.anm"},
         M::Movie,
         "--fps only goes with --export mp4, webm or gif"},
        {{"--export", "tsd", "--out", "d", "--fps", "25", "a.anm"},
         M::Export,
         "--fps only goes with --export mp4, webm or gif"},
        {{"--export", "tga-gray", "--out", "d", "--sound", "t.wav", "a.anm"},
         M::Export,
         "--sound only goes with --export mp4 or webm"},
        {{"--export", "mp4", "--out", "m.mp4", "--name", "walk", "a.anm"},
         M::Movie,
         "--name only goes with --export tsd, tga-gray, tga-color or png"},
        {{"--export", "webm", "--out", "m.webm", "--start", "1", "a.anm"},
         M::Movie,
         "--start only goes with --export tsd, tga-gray, tga-color or png"},
        {{"--export", "mp4", "--out", "m.mp4", "--sound=", "a.anm"},
         M::Movie,
         "--sound needs a file"},
        {{"--export", "png", "--out", "d", "--start", "10000", "a.anm"},
         M::Movie,
         "Please enter an integer between 0 and 9999."},
        {{"--export", "png", "--out", "d", "walk2.anm"},
         M::Movie,
         "Only letters are allowed for the sequence name.\nthe name defaults to the file's base "
         "name 'walk2'; choose one with --name"},
        // Without --name the file's base name must pass the same checks.
        {{"--export", "tsd", "--out", "d", "walk-1.anm"},
         M::Export,
         "Only letters are allowed for the sequence name.\nthe name defaults to the file's base "
         "name 'walk-1'; choose one with --name"},
        {{"--export", "tsd", "--out", "d", "dir/walk.v2.anm"},
         M::Export,
         "Only letters are allowed for the sequence name.\nthe name defaults to the file's base "
         "name 'walk.v2'; choose one with --name"},
        {{"--export", "tsd", "--out", "d", "abcdefghijklmnopqrstuvwxyz.anm"},
         M::Export,
         "Please enter no more than 25 characters.\nthe name defaults to the file's base name "
         "'abcdefghijklmnopqrstuvwxyz'; choose one with --name"},
    };
    for (const Case& c : cases) {
        const CommandLineParse p = ParseBatchCommandLine(c.args);
        const QString want = c.error == letters ? ExportTextOnlyLetters() : c.error;
        EXPECT_EQ(p.ok, want.isEmpty()) << c.args.join(' ').toStdString();
        EXPECT_EQ(p.error, want) << c.args.join(' ').toStdString();
        if (p.ok) {
            EXPECT_EQ(p.options.mode, c.mode) << c.args.join(' ').toStdString();
        }
    }
}

TEST(CommandLine, ExportOptionsAndDefaults) {
    using M = CommandLineOptions::Mode;
    struct Case {
        QStringList args;
        int format;
        QString out, name;
        unsigned start;
        QString file;
        M mode = M::Export;
        MovieFormat movie = MovieFormat::Mp4;
        int fps = 25;
        QString sound = {};
    } cases[] = {
        {{"--export", "tsd", "--out", "d", "dir/walk.anm"},
         EXPORT_DRAWING,
         "d",
         "walk",
         1,
         "dir/walk.anm"},
        {{"--export=tga-gray", "--out=d/", "--name=run", "--start=0", "x.anm"},
         EXPORT_GRAY_TARGA,
         "d/",
         "run",
         0,
         "x.anm"},
        {{"x.anm", "--start", " 9999 ", "--name", "", "--out", "o", "--export", "tga-color"},
         EXPORT_COLOR_TARGA,
         "o",
         "",
         9999,
         "x.anm"},
        {{"--export", "tsd", "--out", "d", "--name", "abcdefghijklmnopqrstuvwxy", "--", "-a.anm"},
         EXPORT_DRAWING,
         "d",
         "abcdefghijklmnopqrstuvwxy",
         1,
         "-a.anm"},
        // An option's value is never taken for an option.
        {{"--export", "tsd", "--out", "-h", "walk.anm"},
         EXPORT_DRAWING,
         "-h",
         "walk",
         1,
         "walk.anm"},
        {{"--out", "--help", "--export", "tsd", "walk.anm"},
         EXPORT_DRAWING,
         "--help",
         "walk",
         1,
         "walk.anm"},
        {{"--export", "tsd", "--out", "--version", "walk.anm"},
         EXPORT_DRAWING,
         "--version",
         "walk",
         1,
         "walk.anm"},
        // Movies: 25 fps unless given; no name, no number.
        {{"--export", "mp4", "--out", "m.mp4", "dir/walk.anm"},
         0,
         "m.mp4",
         "",
         1,
         "dir/walk.anm",
         M::Movie,
         MovieFormat::Mp4,
         25,
         ""},
        {{"--export=webm", "--out=w", "--fps=100", "--sound=t.wav", "x.anm"},
         0,
         "w",
         "",
         1,
         "x.anm",
         M::Movie,
         MovieFormat::WebM,
         100,
         "t.wav"},
        {{"--fps", " 1 ", "--export", "gif", "--out", "g.gif", "x.anm"},
         0,
         "g.gif",
         "",
         1,
         "x.anm",
         M::Movie,
         MovieFormat::Gif,
         1,
         ""},
        // PNG images: the Targa export's name and number.
        {{"--export", "png", "--out", "d", "--start", "9999", "dir/walk.anm"},
         0,
         "d",
         "walk",
         9999,
         "dir/walk.anm",
         M::Movie,
         MovieFormat::Png,
         25,
         ""},
        {{"--export", "png", "--out", "d", "--name=", "x1.anm"},
         0,
         "d",
         "",
         1,
         "x1.anm",
         M::Movie,
         MovieFormat::Png,
         25,
         ""},
    };
    for (const Case& c : cases) {
        const CommandLineParse p = ParseBatchCommandLine(c.args);
        ASSERT_TRUE(p.ok) << p.error.toStdString();
        EXPECT_EQ(p.options.mode, c.mode);
        EXPECT_EQ(p.options.format, c.format);
        EXPECT_EQ(p.options.movieFormat, c.movie);
        EXPECT_EQ(p.options.fps, c.fps);
        EXPECT_EQ(p.options.soundFile, c.sound);
        EXPECT_EQ(p.options.outDir, c.out);
        EXPECT_EQ(p.options.sequenceName, c.name);
        EXPECT_EQ(p.options.startNumber, c.start);
        EXPECT_EQ(p.options.file, c.file);
    }
}

TEST(CommandLine, ConsoleServiceAnswersCancel) {
    CConsoleUi console;
    testing::internal::CaptureStderr();
    EXPECT_EQ(console.MessageBox("Disk Problem in Export", "Lumvane", MB_OK), IDOK);
    EXPECT_EQ(console.MessageBox("Save changes to walk?", "Lumvane", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(console.MessageBox("Sure?", "Lumvane", MB_YESNO), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "lumvane: Disk Problem in Export\nlumvane: Save changes to walk?\nlumvane: Sure?\n");
    EXPECT_EQ(console.DirectoryDialog("x", "y"), QString());
    EXPECT_EQ(console.FileDialog(FileDialogRequest{}), QString());
}

#ifdef LUMVANE_EXE
namespace {
struct RunResult {
    int status;
    QString out;
    QString err;
};

// The program with no display at all: a window would fail to start.
// Runs the program; fileSizeLimit > 0 starts it under that file-size limit (ulimit -f), with
// the signal of a write past it left as the program's own start-up sets it.
RunResult Lumvane(const QStringList& args, rlim_t fileSizeLimit = 0) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
    p.setProcessEnvironment(env);
    if (fileSizeLimit > 0)
        p.setChildProcessModifier([fileSizeLimit] {
            signal(SIGXFSZ, SIG_DFL);
            const rlimit lim{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &lim);
        });
    p.start(QStringLiteral(LUMVANE_EXE), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -100,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void WriteBytes(const QString& path, const std::string& bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << bytes;
}

std::vector<unsigned char> ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const QString kTry = QStringLiteral("Try 'lumvane --help' for more information.\n");
}  // namespace

TEST(CommandLineProgram, HelpAndArgumentErrors) {
    const RunResult help = Lumvane({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, CommandLineHelp());
    EXPECT_TRUE(help.err.isEmpty());
    const RunResult version = Lumvane({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, CommandLineVersion());
    EXPECT_TRUE(QRegularExpression("^lumvane \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch())
        << version.out.toStdString();
    const RunResult bad = Lumvane({"--export", "jpg", "--out", "d", "a.anm"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err,
              "lumvane: unknown export format 'jpg' (use tsd, tga-gray, tga-color, mp4, webm, gif "
              "or png)\n" +
                  kTry);
    EXPECT_TRUE(bad.out.isEmpty());
    const RunResult fast = Lumvane({"--export", "mp4", "--out", "m.mp4", "--fps", "101", "a.anm"});
    EXPECT_EQ(fast.status, 2);
    EXPECT_EQ(fast.err, "lumvane: Please enter an integer between 1 and 100.\n" + kTry);
}

TEST(CommandLineProgram, FilesAndDirectoriesThatFail) {
    QTemporaryDir dir;
    const QString d = dir.path();
    const QString empty = d + "/empty.anm", junk = d + "/junk.anm", plain = d + "/plain";
    WriteBytes(empty, "");
    WriteBytes(junk, std::string("\x03\x00\x00\x00\x00", 5));
    WriteBytes(plain, "x");
    QDir().mkdir(d + "/out");
    struct Case {
        QStringList args;
        QString err;
    } cases[] = {
        {{"--info", d + "/none.anm"}, "lumvane: " + d + "/none.anm was not found.\n"},
        {{"--info", d}, "lumvane: " + d + " is a directory\n"},
        {{"--info", empty}, "lumvane: Unexpected file format.\n"},
        {{"--info", junk}, "lumvane: Unexpected file format.\n"},
        {{"--export", "tsd", "--out", d + "/missing", "--name", "walk", junk},
         "lumvane: output directory " + d + "/missing does not exist\n"},
        {{"--export", "tsd", "--out", plain, "--name", "walk", junk},
         "lumvane: " + plain + " is not a directory\n"},
        {{"--export", "tga-gray", "--out", d + "/out", "--name", "walk", d + "/none.anm"},
         "lumvane: " + d + "/none.anm was not found.\n"},
        {{"--export", "tga-gray", "--out", d + "/out", "--name", "walk", junk},
         "lumvane: Unexpected file format.\n"},
        {{"--export", "mp4", "--out", d + "/missing/m.mp4", junk},
         "lumvane: output directory " + d + "/missing does not exist\n"},
        {{"--export", "gif", "--out", d + "/out", junk}, "lumvane: " + d + "/out is a directory\n"},
        {{"--export", "png", "--out", plain, "--name", "walk", junk},
         "lumvane: " + plain + " is not a directory\n"},
        {{"--export", "webm", "--out", d + "/out/m.webm", junk},
         "lumvane: Unexpected file format.\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = Lumvane(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err, c.err) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(d + "/missing"));
    EXPECT_TRUE(QDir(d + "/out").isEmpty());
}

TEST(CommandLineProgram, UnwritableDirectory) {
    QTemporaryDir dir;
    const QString out = dir.path() + "/ro";
    QDir().mkdir(out);
    fs::permissions(out.toStdString(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(QFile::encodeName(out).constData(), W_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    const RunResult r = Lumvane({"--export", "tsd", "--out", out, "--name", "w", "x.anm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumvane: output directory " + out + " is not writable\n");
}

// From an animation the program saved to the exact bytes of every export format.
// The program's start-up, not the test, makes a write past the file-size limit fail: the
// export reports it and ends with status 1 instead of being killed by the signal.
TEST(CommandLineProgram, FileSizeLimitIsReportedNotFatal) {
    QTemporaryDir dir, out;
    const QString anm = dir.path() + "/walk.anm";
    {
        CScriptedUi ui;
        CLumvaneDoc doc;
        ASSERT_EQ(doc.CreateAnimation(200, 100), 1);
        ASSERT_EQ(doc.OnSaveDocument(anm), 1);
    }
    const RunResult r = Lumvane({"--export", "tga-gray", "--out", out.path(), anm}, 5000);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    const QString file = out.path() + "/walk0001.tga";
    EXPECT_EQ(r.err.toStdString(),
              ("lumvane: Error writing file " + file +
               "!: Disk Full or Write Protected\nlumvane: " + ExportTextDiskProblem() + "\n")
                  .toStdString());
    EXPECT_EQ(QFileInfo(file).size(), 5000);
}

TEST(CommandLineProgram, ExportAndInfoOfASavedAnimation) {
    QTemporaryDir dir;
    const QString anm = dir.path() + "/walk.anm";
    {
        CScriptedUi ui;
        CLumvaneDoc doc;
        ASSERT_EQ(doc.CreateAnimation(8, 2), 1);
        for (int i = 0; i < 3; ++i) {
            frames::Edit f(doc, i);
            for (int p = 0; p < 16; ++p) f->GetData()[p] = static_cast<unsigned char>(i * 50 + p);
        }
        doc.m_nFrameCount = 3;
        doc.m_nCurrentFrame = 1;
        doc.m_bEraser = 1;
        doc.m_nDrawBrush = 3;
        doc.m_nEraseBrush = 7;
        doc.m_brushes[6].Build(40, 50);
        ASSERT_EQ(doc.OnSaveDocument(anm), 1) << ui.Texts().join('|').toStdString();
    }
    ASSERT_GT(QFileInfo(anm).size(), 32);

    const RunResult info = Lumvane({"--info", anm});
    EXPECT_EQ(info.status, 0) << info.err.toStdString();
    EXPECT_EQ(info.out.toStdString(),
              "frames: 3\nwidth: 8\nheight: 2\ncurrent-frame: 2\neraser: on\ndraw-brush: 3\n"
              "erase-brush: 7\n"
              // The file keeps the core as a truncated percentage (size 6, 20 % comes back 0).
              "brush0: size 2 hardness 0\nbrush1: size 3 hardness 0\n"
              "brush2: size 4 hardness 0\nbrush3: size 5 hardness 20\n"
              "brush4: size 6 hardness 0\nbrush5: size 5 hardness 0\n"
              "brush6: size 40 hardness 50\nbrush7: size 15 hardness 0\n"
              "brush8: size 20 hardness 0\nbrush9: size 25 hardness 0\n");

    struct Case {
        const char* format;
        const char* start;
        QStringList files;
    } cases[] = {{"tsd", "0", {"walk0.tsd", "walk1.tsd", "walk2.tsd"}},
                 {"tga-gray", "9999", {"walk9999.tga", "walk10000.tga", "walk10001.tga"}},
                 {"tga-color", "1", {"walk0001.tga", "walk0002.tga", "walk0003.tga"}}};
    for (const Case& c : cases) {
        QTemporaryDir out;
        // Without --name the title of the file names the sequence.
        const RunResult r =
            Lumvane({"--export", c.format, "--out", out.path(), "--start", c.start, anm});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();  // not a terminal: no progress
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 3);
        for (int i = 0; i < 3; ++i) {
            const auto bytes = ReadAll(out.path() + "/" + c.files[i]);
            const bool color = std::string(c.format) == "tga-color";
            ASSERT_EQ(bytes.size(), color ? 18u + 48u : 18u + 16u) << c.files[i].toStdString();
            const unsigned char head[18] = {
                0,
                0,
                static_cast<unsigned char>(color ? 2 : 3),
                static_cast<unsigned char>(c.format[1] == 's' ? 0x48 : 0),
                0,
                0,
                0,
                0,
                0,
                0,
                0,
                0,
                8,
                0,
                2,
                0,
                static_cast<unsigned char>(color ? 24 : 8),
                0};
            EXPECT_TRUE(std::equal(head, head + 18, bytes.begin())) << c.files[i].toStdString();
            for (int p = 0; p < 16; ++p)
                for (int k = 0; k < (color ? 3 : 1); ++k)
                    EXPECT_EQ(bytes[18 + (color ? 3 : 1) * p + k], i * 50 + p);
        }
    }

    // A failing frame: the writer's message, the export's, and nothing after it.
    QTemporaryDir out;
    const QString second = out.path() + "/walk0002.tga";
    fs::create_symlink("/dev/full", second.toStdString());
    const RunResult r = Lumvane({"--export", "tga-color", "--out", out.path(), anm});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumvane: Error writing file " + second +
                         "!: Disk Full or Write Protected\nlumvane: Disk Problem in Export\n");
    EXPECT_TRUE(QFileInfo::exists(out.path() + "/walk0001.tga"));
    EXPECT_FALSE(QFileInfo::exists(out.path() + "/walk0003.tga"));
}

namespace {
// A saved animation of n frames of 64 x 48, frame k filled with the gray 40 k.
QString SaveAnimation(const QString& dir, int n) {
    const QString anm = dir + "/walk.anm";
    CScriptedUi ui;
    CLumvaneDoc doc;
    EXPECT_EQ(doc.CreateAnimation(64, 48), 1);
    for (int k = 0; k < n; ++k) frames::Fill(doc, k, 40 * k);
    doc.m_nFrameCount = n;
    EXPECT_EQ(doc.OnSaveDocument(anm), 1);
    return anm;
}
}  // namespace

// The real program writes an MP4 with its sound track, refuses the WAVs Audio > Load refuses
// with its texts, and leaves no partial movie when a file-size limit stops it.
TEST(CommandLineProgram, MovieWithSoundAndRefusedTracks) {
    QTemporaryDir dir;
    const QString d = dir.path();
    const QString anm = SaveAnimation(d, 6);
    const wav::Bytes tone = wav::Samples(11025);
    ASSERT_TRUE(wav::Write(d + "/tone.wav", wav::Pcm8(11025, tone)));
    const RunResult ok = Lumvane({"--export", "mp4", "--out", d + "/walk.mp4", "--fps", "12",
                                  "--sound", d + "/tone.wav", anm});
    ASSERT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.err.isEmpty());
    const ProbedMovie m = ProbeMovie((d + "/walk.mp4").toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_EQ(m.video.rateNum * 100 + m.video.rateDen, 1201);
    ASSERT_EQ(m.frames.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(m.frames[k][64 * 20 + 30], 40.0 * k, 2) << k;
    EXPECT_EQ(m.audio.codec, "aac");
    EXPECT_EQ(m.audio.sampleRate, 11025);
    // Half a second of sound: 5512 samples, give or take one codec frame.
    EXPECT_NEAR(static_cast<double>(m.samples.size()), 5512, 1024);

    const wav::Bytes fmt = wav::Chunk("fmt ", wav::Fmt(1, 1, 11025, 8));
    const QString unsupported =
        "Unsupported audio file!\n(8bit Mono PCM or Radio Quality in Sound Recorder Supported)";
    struct Case {
        const char* name;
        wav::Bytes bytes;  // empty: no such file
        QString text;
    } cases[] = {
        {"missing.wav", {}, "Could not open audio file!"},
        {"riff.wav", wav::Riff(fmt, "AVI "), "Incorrect audio file format!"},
        {"nodata.wav", wav::Riff(fmt), "Corrupt audio file!"},
        {"rate0.wav", wav::Pcm8(0, tone), unsupported},
        {"empty.wav", wav::Pcm8(11025, {}), "Empty audio file!"},
        // Not a WAV: Import Sound's texts, naming the file as it was given.
        {"noise.mp3", wav::Samples(3000, 5),
         "Could not read the sound track of " + d + "/noise.mp3."},
        {"missing.flac", {}, "Could not read the sound track of " + d + "/missing.flac."},
    };
    for (const Case& c : cases) {
        const QString wavFile = d + "/" + c.name;
        if (!c.bytes.empty()) {
            ASSERT_TRUE(wav::Write(wavFile, c.bytes));
        }
        const RunResult r =
            Lumvane({"--export", "webm", "--out", d + "/refused.webm", "--sound", wavFile, anm});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, "lumvane: " + c.text + "\n") << c.name;
    }

    // What Audio > Load refuses but Import Sound takes: decoded at full quality.
    const struct {
        const char* name;
        wav::Bytes bytes;
        int channels;
    } taken[] = {
        {"upper.WAV", wav::Pcm8(11025, tone), 1},
        {"stereo.wav",
         wav::Riff(
             wav::Cat({wav::Chunk("fmt ", wav::Fmt(1, 2, 11025, 16)), wav::Chunk("data", tone)})),
         2},
    };
    for (const auto& c : taken) {
        ASSERT_TRUE(wav::Write(d + "/" + c.name, c.bytes));
        const RunResult r = Lumvane(
            {"--export", "mp4", "--out", d + "/taken.mp4", "--sound", d + "/" + c.name, anm});
        ASSERT_EQ(r.status, 0) << c.name << r.err.toStdString();
        const ProbedMovie t = ProbeMovie((d + "/taken.mp4").toStdString());
        EXPECT_EQ(t.audio.channels, c.channels) << c.name;
        EXPECT_EQ(t.audio.sampleRate, 11025) << c.name;
    }

    // A file-size limit in the middle of the movie: the process goes on, says so, and removes it.
    QDir().mkdir(d + "/full");
    QProcess p;
    p.start("/bin/sh",
            {"-c", "ulimit -f 2; exec \"$0\" \"$@\"", QStringLiteral(LUMVANE_EXE), "--export",
             "mp4", "--out", d + "/full/walk.mp4", "--sound", d + "/tone.wav", anm});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(
        QString::fromLocal8Bit(p.readAllStandardError()),
        "lumvane: Error writing file " + d +
            "/full/walk.mp4!: Disk Full or Write Protected\nlumvane: Disk Problem in Export\n");
    EXPECT_TRUE(QDir(d + "/full")
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_EQ(QDir(d).entryList({"refused*"}, QDir::Files | QDir::Hidden).size(), 0);
}

// Every file of a folder by name, with its bytes (links as the text they point to).
std::map<QString, QByteArray> Snapshot(const QString& dir) {
    std::map<QString, QByteArray> files;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::NoDotAndDotDot | QDir::System)) {
        QFile in(f.filePath());
        files[f.fileName()] = f.isSymLink() ? f.symLinkTarget().toUtf8()
                                            : (in.open(QIODevice::ReadOnly) ? in.readAll() : "?");
    }
    return files;
}

// An output that is the animation or the sound track, by name, through "./" or a link, and
// numbered names one of which is the animation: refused as a bad argument, every file as it
// was, nothing new.
TEST(CommandLineProgram, OutputThatIsAnInputIsRefusedAndEveryFileStays) {
    QTemporaryDir dir;
    const QString d = dir.path();
    const QString anm = SaveAnimation(d, 3);
    const QString wavFile = d + "/voice.wav";
    ASSERT_TRUE(wav::Write(wavFile, wav::Pcm8(11025, wav::Samples(2000))));
    // The same animation under names that the numbered exports make.
    for (const char* name : {"walk0002.tga", "walk3.tsd", "walk0003.png"})
        ASSERT_TRUE(QFile::copy(anm, d + "/" + name));
    ASSERT_TRUE(QFile::link(anm, d + "/link.gif"));
    ASSERT_TRUE(QFile::link(wavFile, d + "/voice.mp4"));
    const std::map<QString, QByteArray> before = Snapshot(d);
    const auto isAnimation = [](const QString& out, const QString& in) {
        return "lumvane: Cannot write " + out + ": it is the animation file " + in + ".\n";
    };
    const auto isSound = [&](const QString& out) {
        return "lumvane: Cannot write " + out + ": it is the sound track " + wavFile + ".\n";
    };
    struct Case {
        QStringList args;
        QString err;
    } cases[] = {
        {{"--export", "gif", "--out", anm, anm}, isAnimation(anm, anm)},
        {{"--export", "mp4", "--out", d + "/./walk.anm", anm}, isAnimation(d + "/./walk.anm", anm)},
        {{"--export", "webm", "--out", d + "/link.gif", anm}, isAnimation(d + "/link.gif", anm)},
        {{"--export", "mp4", "--out", wavFile, "--sound", wavFile, anm}, isSound(wavFile)},
        {{"--export", "webm", "--out", d + "/voice.mp4", "--sound", wavFile, anm},
         isSound(d + "/voice.mp4")},
        {{"--export", "tga-gray", "--out", d, "--name", "walk", d + "/walk0002.tga"},
         isAnimation(d + "/walk0002.tga", d + "/walk0002.tga")},
        {{"--export", "tsd", "--out", d, "--name", "walk", "--start", "1", d + "/walk3.tsd"},
         isAnimation(d + "/walk3.tsd", d + "/walk3.tsd")},
        {{"--export", "png", "--out", d, "--name", "walk", d + "/walk0003.png"},
         isAnimation(d + "/walk0003.png", d + "/walk0003.png")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const RunResult r = Lumvane(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(Snapshot(d) == before);
    }
    // A name beside the animation's own is written as before.
    const RunResult ok = Lumvane({"--export", "tga-gray", "--out", d, "--name", "run", anm});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(d + "/run0003.tga"));
}
#endif
