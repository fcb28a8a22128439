#include "intake/ImportCommandLine.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>

#include "document/AnmFormat.h"
#include "document/LumvaneDoc.h"
#include "framework/Archive.h"
#include "framework/Console.h"
#include "framework/Document.h"
#include "framework/RegularFile.h"
#include "raster/GrayImage.h"

namespace {

const char* const kValueOptions[] = {"--out", "--size", "--fit", "--levels", "--register"};
enum { kOut, kSize, kFit, kLevels, kRegister };
const char* const kFlags[] = {"--import", "--drop-color", "--by-number"};
enum { kImport, kDropColor, kByNumber };

int IndexOf(const QString& key, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (key == QLatin1String(names[i])) return i;
    return -1;
}

// WIDTHxHEIGHT, each 1 to 10000 as New takes them.
bool ParseSize(const QString& text, QSize& size) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) return false;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 1 || w > 10000 || h < 1 || h > 10000) return false;
    for (const QString& p : parts)
        for (QChar c : p)
            if (!c.isDigit()) return false;
    size = QSize(w, h);
    return true;
}

}  // namespace

ImportCommandParse ParseImportCommandLine(const QStringList& args) {
    ImportCommandParse r;
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    const QStringList options = end < 0 ? args : args.mid(0, end);
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options[i] == QLatin1String("--import")) r.import = true;
        // An option's value is never an option.
        if (IndexOf(options[i], kValueOptions, std::size(kValueOptions)) >= 0) ++i;
    }
    if (!r.import) return r;
    auto fail = [&r](const QString& error) {
        r.ok = false;
        r.error = error;
        return r;
    };
    QString values[std::size(kValueOptions)];
    bool given[std::size(kValueOptions)] = {};
    bool flags[std::size(kFlags)] = {};
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            r.command.images << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = a.startsWith(QLatin1String("--")) ? a.indexOf(QLatin1Char('=')) : -1;
        const QString key = eq > 0 ? a.left(eq) : a;
        if (const int f = IndexOf(key, kFlags, std::size(kFlags)); f >= 0) {
            if (eq > 0) return fail(QStringLiteral("%1 takes no value").arg(key));
            if (flags[f]) return fail(QStringLiteral("%1 given more than once").arg(key));
            flags[f] = true;
            continue;
        }
        const int k = IndexOf(key, kValueOptions, std::size(kValueOptions));
        if (k < 0) return fail(QStringLiteral("unknown option '%1' for --import").arg(a));
        if (given[k]) return fail(QStringLiteral("%1 given more than once").arg(key));
        if (eq > 0) {
            values[k] = a.mid(eq + 1);
        } else {
            if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value").arg(key));
            values[k] = args[++i];
        }
        given[k] = true;
    }
    if (!given[kOut]) return fail(QStringLiteral("--import needs --out FILE.anm"));
    if (values[kOut].isEmpty()) return fail(QStringLiteral("--out needs a file"));
    r.command.out = values[kOut];
    ImportOptions& o = r.command.options;
    if (given[kSize] && !ParseSize(values[kSize], o.size))
        return fail(QStringLiteral("--size must be WIDTHxHEIGHT, each 1 to 10000, not '%1'")
                        .arg(values[kSize]));
    if (given[kFit]) {
        const QString& v = values[kFit];
        if (v == QLatin1String("inside"))
            o.fit = FitMode::Inside;
        else if (v == QLatin1String("cover"))
            o.fit = FitMode::Cover;
        else if (v == QLatin1String("none"))
            o.fit = FitMode::None;
        else
            return fail(QStringLiteral("--fit must be inside, cover or none, not '%1'").arg(v));
    }
    if (given[kLevels]) {
        const QString& v = values[kLevels];
        if (v != QLatin1String("auto") && v != QLatin1String("none"))
            return fail(QStringLiteral("--levels must be auto or none, not '%1'").arg(v));
        o.autoLevels = v == QLatin1String("auto");
    }
    if (given[kRegister]) {
        const QString& v = values[kRegister];
        if (v != QLatin1String("none") && v != QLatin1String("pegs"))
            return fail(QStringLiteral("--register must be none or pegs, not '%1'").arg(v));
        o.registerPegs = v == QLatin1String("pegs");
    }
    o.dropColour = flags[kDropColor];
    o.byNumber = flags[kByNumber];
    if (r.command.images.isEmpty()) return fail(QStringLiteral("no images given"));
    return r;
}

QString ImportCommandHelp() {
    return QStringLiteral(
        "Usage: lumvane --import --out FILE.anm [--size WxH] [--fit inside|cover|none]\n"
        "               [--levels auto|none] [--drop-color] [--register none|pegs]\n"
        "               [--by-number] IMAGE...\n");
}

bool WriteImportedAnimation(const QString& path, std::vector<CompactImage>& frames,
                            QString& error) {
    const int count = static_cast<int>(frames.size());
    if (count < 1) return false;
    // The default brushes of a new document.
    const auto brushes = std::make_unique<CLumvaneDoc>();
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = errno == EACCES ? AfxTextAccessDenied(path)
                                : QStringLiteral("%1 could not be created.").arg(path);
        return false;
    }
    try {
        CArchive ar(&file, CArchive::store);
        anm::StoreHeader(ar, {count, 0, 0, frames[0].Width(), frames[0].Height(),
                              brushes->m_nDrawBrush, brushes->m_nEraseBrush});
        anm::StoreFrameRecords(ar, frames.data(), count);
        for (const BrushStamp& b : brushes->m_brushes)
            anm::StoreBrushRecord(ar, anm::BrushRecordOf(b));
        ar.Flush();
    } catch (const CArchiveException& e) {
        file.cancelWriting();
        error = e.m_nOsError == ENOSPC ? AfxTextDiskFull(path)
                                       : QStringLiteral("%1 could not be written.").arg(path);
        return false;
    } catch (const std::bad_alloc&) {
        file.cancelWriting();
        error = QStringLiteral("%1 could not be written.").arg(path);
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        error = errno == ENOSPC ? AfxTextDiskFull(path)
                                : QStringLiteral("%1 could not be written.").arg(path);
        return false;
    }
    return true;
}

namespace {

// Qt's image readers warn on standard error about damaged files; the import says it its way.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) AfxPrint(stderr, text + QLatin1Char('\n'));
}

int RunImport(const ImportCommand& c) {
    const QFileInfo out(c.out);
    if (out.isDir()) {
        AfxPrintMessage(QStringLiteral("%1 is a directory").arg(c.out));
        return 1;
    }
    const QString dir = out.path();
    if (!QFileInfo(dir).isDir()) {
        AfxPrintMessage(QStringLiteral("output directory %1 does not exist").arg(dir));
        return 1;
    }
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) {
        AfxPrintMessage(QStringLiteral("output directory %1 is not writable").arg(dir));
        return 1;
    }
    QStringList files;
    QString error;
    if (!CollectImageFiles(c.images, files, error)) {
        AfxPrintMessage(error);
        return 1;
    }
    // The animation written must never replace one of the drawings it is made from.
    for (const QString& f : files)
        if (IsSameFile(c.out, f)) {
            AfxPrintMessage(QStringLiteral("the output %1 is one of the images").arg(c.out));
            return 1;
        }
    FramePlan plan;
    if (!PlanFrames(files, c.options.byNumber, CLumvaneDoc::kMaxFrames, plan, error)) {
        AfxPrintMessage(error);
        return 1;
    }
    const QSize size = DefaultFrameSize(c.options.size.isEmpty() ? plan.sizes[0] : c.options.size);
    const int count = static_cast<int>(plan.source.size());
    if (!ImportMemoryFits(count, size)) {
        AfxPrintMessage(ImportTextNoMemory(count, size.width(), size.height()));
        return 1;
    }
    AfxCatchStopSignals();
    std::vector<CompactImage> frames;
    const ImportOutcome outcome =
        BuildFrames(plan, c.options, size, frames, [](int done, int images) {
            if (done < images) AfxShowProgressLine(ImportTextProgress(done + 1, images));
            return !AfxStopRequested();
        });
    if (outcome.result != IMPORT_DONE) {
        AfxPrintMessage(outcome.result == IMPORT_CANCELLED
                            ? QStringLiteral("interrupted; %1 was not written").arg(c.out)
                            : outcome.error);
        return 1;
    }
    if (AfxStopRequested() || !WriteImportedAnimation(c.out, frames, error)) {
        AfxPrintMessage(AfxStopRequested()
                            ? QStringLiteral("interrupted; %1 was not written").arg(c.out)
                            : error);
        return 1;
    }
    AfxEndProgressLine();
    if (!outcome.unregistered.isEmpty()) AfxPrintMessage(ImportTextNoPegs(outcome.unregistered));
    return 0;
}

}  // namespace

int RunImportCommandLine(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
    const ImportCommandParse parsed = ParseImportCommandLine(args);
    if (!parsed.import) return -1;
    if (!parsed.ok) {
        AfxPrint(stderr,
                 QStringLiteral("lumvane: %1\n%2Try 'lumvane --help' for more information.\n")
                     .arg(parsed.error, ImportCommandHelp()));
        return 2;
    }
    // A core application only: no window system is needed or touched.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    const QtMessageHandler previous = qInstallMessageHandler(QuietMessages);
    const int status = RunImport(parsed.command);
    qInstallMessageHandler(previous);
    return status;
}
