// libFuzzer target for the image import: any bytes as an image file through the header check,
// the reader and the clean-up (gray, levels, colour drop, peg search and move, fit), then the
// import's argument parser over the same bytes split at zero bytes. The sanitizers catch every
// read or write outside a buffer; the import's own limits must hold for whatever decodes.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <cstddef>
#include <cstdint>

#include "intake/ImageImport.h"
#include "intake/ImportCommandLine.h"
#include "raster/GrayImage.h"
#include "raster/PegRegister.h"
#include "raster/ScanCleanup.h"

namespace {
QString g_path;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt finds its image format plugins (TIFF, WebP) through the application.
    static QCoreApplication app(*argc, *argv);
    const QDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                             : QDir::tempPath());
    g_path = dir.filePath(QStringLiteral("lumvane_fuzz_image_%1").arg(::getpid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile f(g_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    FramePlan plan;
    QString error;
    if (PlanFrames({g_path}, false, 500, plan, error)) {
        GrayPlane gray;
        if (ReadDrawing(g_path, size % 2 == 1, gray, error)) {
            if (gray.width <= 0 || gray.height <= 0 ||
                static_cast<std::int64_t>(gray.width) * gray.height > kMaxImagePixels)
                __builtin_trap();
            PegHoles holes;
            if (FindPegHoles(gray, holes)) {
                GrayPlane moved;
                RigidMove m = MoveOnto(holes, holes);
                m.tx += 1.5;
                if (ApplyMove(gray, m, gray.width, gray.height, moved)) gray = std::move(moved);
            }
            AutoLevels(gray);
            GrayImage frame;
            const FitMode modes[] = {FitMode::Inside, FitMode::Cover, FitMode::None};
            if (frame.Create(32, 20)) FitToFrame(gray, modes[size % 3], frame);
        }
    }
    // The import's argument parser over the same bytes.
    QStringList args;
    for (const QByteArray& part :
         QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split('\0'))
        args << QString::fromUtf8(part);
    ParseImportCommandLine(args);
    return 0;
}
