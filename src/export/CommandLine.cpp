#include "export/CommandLine.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <functional>

#include "document/DecodedSound.h"
#include "document/LumvaneDoc.h"
#include "document/WaveFile.h"
#include "export/ExportSequence.h"
#include "framework/Console.h"
#include "framework/Dialog.h"
#include "framework/RegularFile.h"
#include "intake/SoundImport.h"

namespace {
const char* const kValueOptions[] = {"--export", "--out", "--name", "--start", "--fps", "--sound"};
enum { kExport, kOut, kName, kStart, kFps, kSound };

bool IsValueOption(const QString& key) {
    for (const char* o : kValueOptions)
        if (key == QLatin1String(o)) return true;
    return false;
}

bool IsOurOption(const QString& arg) {
    const QString key = arg.section(QLatin1Char('='), 0, 0);
    return arg == QLatin1String("-h") || key == QLatin1String("--help") ||
           key == QLatin1String("--info") || IsValueOption(key);
}

struct FormatName {
    const char* name;
    int format;
};
const FormatName kFormats[] = {
    {"tsd", EXPORT_DRAWING}, {"tga-gray", EXPORT_GRAY_TARGA}, {"tga-color", EXPORT_COLOR_TARGA}};
struct MovieFormatName {
    const char* name;
    MovieFormat format;
};
const MovieFormatName kMovieFormats[] = {{"mp4", MovieFormat::Mp4},
                                         {"webm", MovieFormat::WebM},
                                         {"gif", MovieFormat::Gif},
                                         {"png", MovieFormat::Png}};

}  // namespace

CommandLineParse ParseBatchCommandLine(const QStringList& args) {
    CommandLineParse r;
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    const QStringList options = end < 0 ? args : args.mid(0, end);
    bool ours = false;
    for (qsizetype i = 0; i < options.size(); ++i) {
        const QString& a = options[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            r.options.mode = CommandLineOptions::Help;
            return r;
        }
        if (a == QLatin1String("--version")) {
            r.options.mode = CommandLineOptions::Version;
            return r;
        }
        ours = ours || IsOurOption(a);
        // An option's value is never an option: "--out -h" names a folder called "-h".
        if (IsValueOption(a)) ++i;
    }
    if (!ours) return r;

    auto fail = [&r](const QString& error) {
        r.ok = false;
        r.error = error;
        return r;
    };
    bool info = false;
    QString values[std::size(kValueOptions)];
    bool given[std::size(kValueOptions)] = {};
    QStringList files;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            files.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = a.startsWith(QLatin1String("--")) ? a.indexOf(QLatin1Char('=')) : -1;
        const QString key = eq > 0 ? a.left(eq) : a;
        if (key == QLatin1String("--info")) {
            if (eq > 0) return fail(QStringLiteral("--info takes no value"));
            if (info) return fail(QStringLiteral("--info given more than once"));
            info = true;
            continue;
        }
        if (!IsValueOption(key)) return fail(QStringLiteral("unknown option '%1'").arg(a));
        std::size_t k = 0;
        while (key != QLatin1String(kValueOptions[k])) ++k;
        if (given[k]) return fail(QStringLiteral("%1 given more than once").arg(key));
        if (eq > 0) {
            values[k] = a.mid(eq + 1);
        } else {
            if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value").arg(key));
            values[k] = args[++i];
        }
        given[k] = true;
    }
    const bool exporting = given[kExport];
    if (info && exporting)
        return fail(QStringLiteral("--info and --export cannot be used together"));
    if (!exporting)
        for (std::size_t k = 1; k < std::size(kValueOptions); ++k)
            if (given[k])
                return fail(QStringLiteral("%1 only goes with --export")
                                .arg(QLatin1String(kValueOptions[k])));
    if (files.isEmpty()) return fail(QStringLiteral("no animation file given"));
    if (files.size() > 1)
        return fail(QStringLiteral("one animation file at a time, not %1").arg(files.size()));
    r.options.file = files.first();
    if (info) {
        r.options.mode = CommandLineOptions::Info;
        return r;
    }

    r.options.mode = CommandLineOptions::Export;
    bool known = false;
    for (const FormatName& f : kFormats)
        if (values[kExport] == QLatin1String(f.name)) {
            r.options.format = f.format;
            known = true;
        }
    for (const MovieFormatName& f : kMovieFormats)
        if (values[kExport] == QLatin1String(f.name)) {
            r.options.mode = CommandLineOptions::Movie;
            r.options.movieFormat = f.format;
            known = true;
        }
    if (!known)
        return fail(QStringLiteral("unknown export format '%1' (use tsd, tga-gray, tga-color, mp4, "
                                   "webm, gif or png)")
                        .arg(values[kExport]));
    const MovieFormat movie = r.options.movieFormat;
    // Numbered files into a directory, or one movie file.
    const bool numbered = r.options.mode == CommandLineOptions::Export || movie == MovieFormat::Png;
    if (given[kFps] && numbered)
        return fail(QStringLiteral("--fps only goes with --export mp4, webm or gif"));
    if (given[kSound] && (numbered || movie == MovieFormat::Gif))
        return fail(QStringLiteral("--sound only goes with --export mp4 or webm"));
    if (!numbered)
        for (const int k : {kName, kStart})
            if (given[k])
                return fail(QStringLiteral("%1 only goes with --export tsd, tga-gray, tga-color "
                                           "or png")
                                .arg(QLatin1String(kValueOptions[k])));
    if (!given[kOut])
        return fail(numbered ? QStringLiteral("--export needs --out DIR")
                             : QStringLiteral("--export needs --out FILE"));
    if (values[kOut].isEmpty())
        return fail(numbered ? QStringLiteral("--out needs a directory")
                             : QStringLiteral("--out needs a file"));
    r.options.outDir = values[kOut];
    if (!numbered) {
        // The dialog's rule and texts for the rate.
        if (given[kFps]) {
            int fps = 0;
            if (!AfxParseInt(values[kFps], fps)) return fail(AfxTextNotInteger());
            if (fps < kMinMovieFps || fps > kMaxMovieFps)
                return fail(AfxTextRange(kMinMovieFps, kMaxMovieFps));
            r.options.fps = fps;
        }
        if (given[kSound] && values[kSound].isEmpty())
            return fail(QStringLiteral("--sound needs a file"));
        r.options.soundFile = values[kSound];
        return r;
    }

    // The dialog's checks in the dialog's order: name length, start number, letters.
    const QString name =
        given[kName] ? values[kName] : QFileInfo(r.options.file).completeBaseName();
    const QString defaulted =
        given[kName] ? QString()
                     : QStringLiteral(
                           "\nthe name defaults to the file's base name '%1'; choose one "
                           "with --name")
                           .arg(name);
    if (name.size() > kMaxSequenceName) return fail(AfxTextMaxChars(kMaxSequenceName) + defaulted);
    if (given[kStart]) {
        unsigned start = 0;
        if (!AfxParseUInt(values[kStart], start)) return fail(AfxTextNotPositiveInteger());
        if (start > kMaxStartNumber) return fail(AfxTextRange(0, kMaxStartNumber));
        r.options.startNumber = start;
    }
    if (!IsSequenceNameValid(name)) return fail(ExportTextOnlyLetters() + defaulted);
    r.options.sequenceName = name;
    return r;
}

QString CommandLineHelp() {
    return QStringLiteral(
        "Usage: lumvane [FILE.anm]\n"
        "       lumvane --export FORMAT --out DIR [--name NAME] [--start N] FILE.anm\n"
        "       lumvane --export mp4|webm|gif --out FILE [--fps N] [--sound FILE] FILE.anm\n"
        "       lumvane --info FILE.anm\n"
        "       lumvane --import --out FILE.anm [--size WxH] [--fit inside|cover|none]\n"
        "               [--levels auto|none] [--drop-color] [--register none|pegs]\n"
        "               [--by-number] IMAGE...\n"
        "       lumvane --help\n"
        "       lumvane --version\n"
        "\n"
        "Without options the window opens (with FILE.anm when given). The options below run\n"
        "without a window or display.\n"
        "\n"
        "  --export FORMAT  write every frame of FILE.anm as one numbered file, FORMAT one of\n"
        "                   tsd        Tessel drawing files  NAME1.tsd, NAME2.tsd, ...\n"
        "                   tga-gray   8-bit grayscale Targa NAME0001.tga, NAME0002.tga, ...\n"
        "                   tga-color  24-bit truecolor Targa, named as tga-gray\n"
        "                   png        8-bit grayscale PNG   NAME0001.png, NAME0002.png, ...\n"
        "                   or the whole animation as one file, FORMAT one of\n"
        "                   mp4        H.264 video, with AAC sound from --sound\n"
        "                   webm       VP9 video, with Opus sound from --sound\n"
        "                   gif        animated GIF in 256 grays, looping for ever\n"
        "  --out DIR        numbered files: the directory for them; it must exist and be\n"
        "                   writable. Existing files of the same names are overwritten.\n"
        "  --out FILE       mp4, webm, gif: the file; its directory must exist and be writable.\n"
        "                   An existing file is replaced only once the new one is complete.\n"
        "  --name NAME      numbered files: the sequence name, letters A-Z and a-z only, at\n"
        "                   most 25, may be empty (default: the file's base name, which must\n"
        "                   then follow the same rule)\n"
        "  --start N        numbered files: number of the first file, 0 to 9999 (default 1)\n"
        "  --fps N          mp4, webm, gif: frames per second, 1 to 100 (default 25)\n"
        "  --sound FILE     mp4, webm: the sound track, any sound or video file's first\n"
        "                   sound stream (WAV, MP3, FLAC, Ogg, Opus, AAC, MP4, MKV, ...);\n"
        "                   its start plays with frame 1\n"
        "  --info           print facts about FILE.anm, one 'key: value' per line:\n"
        "                   frames, width, height, current-frame (1-based, as shown in the\n"
        "                   window), eraser (on/off), draw-brush and erase-brush (brush indices\n"
        "                   0-9), and brush0 to brush9 as 'size S hardness H' (pixels, percent)\n"
        "  --import         make FILE.anm of scanned or photographed drawings (images or\n"
        "                   folders of them), as File > Import Drawings does: --size of the\n"
        "                   frames (default the first image's, the width up to a multiple of\n"
        "                   4), --fit (default inside), --levels auto makes paper white and\n"
        "                   lines black (the default), --drop-color turns blue and red\n"
        "                   pencil to paper, --register pegs moves every drawing so its peg\n"
        "                   holes meet the first one's, --by-number orders by the last number\n"
        "                   in each name and holds a drawing over missing numbers. An existing\n"
        "                   FILE.anm is replaced only once the new one is complete.\n"
        "  --help, -h       print this text\n"
        "  --version        print the program's version\n"
        "\n"
        "Options take their value as the next argument or after '='. '--' ends the options.\n"
        "Export progress goes to standard error when it is a terminal.\n"
        "\n"
        "Exit status: 0 success; 1 the file or the sound track could not be read, the\n"
        "directory is missing or not writable, a file could not be written (numbered files\n"
        "written before stay; no partial movie is left), or the export was interrupted;\n"
        "2 bad arguments, also an output file that is FILE.anm or the sound track (nothing\n"
        "is written then).\n");
}

QString CommandLineVersion() {
    return QStringLiteral("lumvane " LUMVANE_VERSION "\n");
}

int CConsoleUi::MessageBox(const QString& text, const QString&, unsigned type) {
    AfxPrintMessage(text);
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

int CConsoleUi::DoModal(CDialog&) {
    return IDCANCEL;
}

QString CConsoleUi::FileDialog(const FileDialogRequest&) {
    return QString();
}

QString CConsoleUi::DirectoryDialog(const QString&, const QString&) {
    return QString();
}

namespace {
// Loads through the document's own reading code; its failures arrive through the console
// service. A file that reads without error but leaves no usable animation is refused too.
bool LoadAnimation(CLumvaneDoc& doc, const QString& file) {
    if (QFileInfo(file).isDir()) {
        AfxMessageBox(QStringLiteral("%1 is a directory").arg(file));
        return false;
    }
    if (!doc.OnOpenDocument(file)) return false;
    bool ok = doc.m_nFrameCount >= 1 && doc.m_nFrameCount <= CLumvaneDoc::kMaxFrames &&
              doc.m_nWidth > 0 && doc.m_nHeight > 0 && doc.m_nCurrentFrame >= 0 &&
              doc.m_nCurrentFrame < doc.m_nFrameCount;
    for (int i = 0; ok && i < doc.m_nFrameCount; ++i) {
        const CompactImage& f = doc.m_frames[i];
        ok = !f.Empty() && f.Width() == doc.m_nWidth && f.Height() == doc.m_nHeight;
    }
    if (!ok) AfxMessageBox(QStringLiteral("%1: Unexpected file format.").arg(file));
    return ok;
}

int RunInfo(const CommandLineOptions& o) {
    CLumvaneDoc doc;
    if (!LoadAnimation(doc, o.file)) return 1;
    QString out;
    out += QStringLiteral("frames: %1\n").arg(doc.m_nFrameCount);
    out += QStringLiteral("width: %1\n").arg(doc.m_nWidth);
    out += QStringLiteral("height: %1\n").arg(doc.m_nHeight);
    out += QStringLiteral("current-frame: %1\n").arg(doc.m_nCurrentFrame + 1);
    out += QStringLiteral("eraser: %1\n").arg(doc.m_bEraser ? "on" : "off");
    out += QStringLiteral("draw-brush: %1\n").arg(doc.m_nDrawBrush);
    out += QStringLiteral("erase-brush: %1\n").arg(doc.m_nEraseBrush);
    for (int i = 0; i < CLumvaneDoc::kBrushCount; ++i)
        out += QStringLiteral("brush%1: size %2 hardness %3\n")
                   .arg(i)
                   .arg(doc.m_brushes[i].GetSize())
                   .arg(doc.m_brushes[i].GetHardness());
    AfxPrint(stdout, out);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The checks of a directory that numbered files or a movie go into.
bool CheckOutputDirectory(const QString& path) {
    const QFileInfo dir(path);
    if (!dir.exists()) {
        AfxMessageBox(QStringLiteral("output directory %1 does not exist").arg(path));
        return false;
    }
    if (!dir.isDir()) {
        AfxMessageBox(QStringLiteral("%1 is not a directory").arg(path));
        return false;
    }
    if (::access(QFile::encodeName(path).constData(), W_OK | X_OK) != 0) {
        AfxMessageBox(QStringLiteral("output directory %1 is not writable").arg(path));
        return false;
    }
    return true;
}

void ShowProgress(int i, int count) {
    AfxShowProgressLine(ExportTextProgress(i + 1, count));
}

// An output that is the animation itself is refused like a bad argument, before anything is
// written.
bool RefuseImagesOverTheAnimation(const CommandLineOptions& o, int count,
                                  const std::function<QString(unsigned)>& nameOf) {
    const QString name = NumberedNameThatIs(nameOf, o.startNumber, count, o.file);
    if (name.isEmpty()) return false;
    AfxMessageBox(ExportTextIsAnimation(name, o.file));
    return true;
}

int RunExport(const CommandLineOptions& o) {
    if (!CheckOutputDirectory(o.outDir)) return 1;
    CLumvaneDoc doc;
    if (!LoadAnimation(doc, o.file)) return 1;
    const ExportSettings settings{WithTrailingSeparator(o.outDir), o.sequenceName, o.startNumber,
                                  o.format};
    if (RefuseImagesOverTheAnimation(o, doc.m_nFrameCount, [&settings](unsigned n) {
            return ExportFileName(settings.outputPath, settings.sequenceName, n, settings.format);
        }))
        return 2;
    const int ok = ExportFrames(doc, settings, ShowProgress);
    AfxEndProgressLine();
    return ok ? 0 : 1;
}

int RunMovie(const CommandLineOptions& o) {
    const bool images = o.movieFormat == MovieFormat::Png;
    if (!images && QFileInfo(o.outDir).isDir()) {
        AfxMessageBox(QStringLiteral("%1 is a directory").arg(o.outDir));
        return 1;
    }
    if (!images && IsSameFile(o.outDir, o.file)) {
        AfxMessageBox(ExportTextIsAnimation(o.outDir, o.file));
        return 2;
    }
    if (!images && IsSameFile(o.outDir, o.soundFile)) {
        AfxMessageBox(ExportTextIsSoundTrack(o.outDir, o.soundFile));
        return 2;
    }
    if (!CheckOutputDirectory(images ? o.outDir : QFileInfo(o.outDir).path())) return 1;
    CLumvaneDoc doc;
    if (!LoadAnimation(doc, o.file)) return 1;
    if (images && RefuseImagesOverTheAnimation(o, doc.m_nFrameCount, [&o](unsigned n) {
            return MovieImageFileName(o.outDir, o.sequenceName, n);
        }))
        return 2;
    MovieSource source = MovieSourceOf(doc);
    WaveTrack track;
    if (!o.soundFile.isEmpty()) {
        QString error;
        if (ReadWaveTrack(o.soundFile, track, &error)) {
            source.sound = track.samples.get();
            source.soundBytes = track.bytes;
            source.soundRate = track.rate;
        } else {
            // Any other sound or video file: its sound track at full quality. A WAV file that
            // neither reader takes keeps the message Audio > Load gives.
            auto decoded = std::make_shared<DecodedSound>();
            const SoundDecode result = DecodeSoundFile(o.soundFile, *decoded);
            if (result != SoundDecode::Ok) {
                AfxMessageBox(HasWaveExtension(o.soundFile) ? error
                                                            : SoundDecodeText(result, o.soundFile));
                return 1;
            }
            source.soundRate = decoded->rate;
            source.decoded = std::move(decoded);
        }
    }
    MovieSettings settings;
    settings.format = o.movieFormat;
    settings.fps = o.fps;
    settings.outputPath = images ? WithTrailingSeparator(o.outDir) : o.outDir;
    settings.sequenceName = o.sequenceName;
    settings.startNumber = o.startNumber;
    settings.includeSound = source.HasSound();
    // Interrupted, the export stops as if cancelled: no half-written movie is left behind.
    AfxCatchStopSignals();
    QString error;
    const int result = ExportMovie(
        source, settings,
        [](int i, int count) {
            ShowProgress(i, count);
            return !AfxStopRequested();
        },
        &error);
    AfxEndProgressLine();
    if (result == MOVIE_DONE) return 0;
    if (result == MOVIE_FAILED)
        ReportMovieFailure(error);
    else
        AfxMessageBox(error);
    return 1;
}
}  // namespace

int RunCommandLine(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
    const CommandLineParse parsed = ParseBatchCommandLine(args);
    if (parsed.ok && parsed.options.mode == CommandLineOptions::None) return -1;
    if (!parsed.ok) {
        AfxPrint(stderr, QStringLiteral("lumvane: %1\nTry 'lumvane --help' for more information.\n")
                             .arg(parsed.error));
        return 2;
    }
    if (parsed.options.mode == CommandLineOptions::Help) {
        AfxPrint(stdout, CommandLineHelp());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (parsed.options.mode == CommandLineOptions::Version) {
        AfxPrint(stdout, CommandLineVersion());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // A core application only: no window system is needed or touched.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    CConsoleUi console;
    AfxSetUi(&console);
    AfxSetAppName(QStringLiteral("Lumvane"));
    int status = 1;
    switch (parsed.options.mode) {
        case CommandLineOptions::Info:
            status = RunInfo(parsed.options);
            break;
        case CommandLineOptions::Movie:
            status = RunMovie(parsed.options);
            break;
        default:
            status = RunExport(parsed.options);
            break;
    }
    AfxSetUi(nullptr);
    return status;
}
