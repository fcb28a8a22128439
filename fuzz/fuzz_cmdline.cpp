// libFuzzer target for the command-line parser of the export commands: the input is split on
// NUL bytes into arguments, decoded as main() decodes them. Every result is either an error
// with a text or a mode whose values keep the parser's promises.
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "export/CommandLine.h"
#include "export/ExportSequence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList args;
    const char* p = reinterpret_cast<const char*>(data);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || p[i] == '\0') {
            if (i < size || i > start)
                args.append(QString::fromLocal8Bit(p + start, static_cast<qsizetype>(i - start)));
            start = i + 1;
        }
    }
    const CommandLineParse r = ParseBatchCommandLine(args);
    if (!r.ok) {
        if (r.error.isEmpty()) __builtin_trap();
        return 0;
    }
    const CommandLineOptions& o = r.options;
    switch (o.mode) {
        case CommandLineOptions::None:
        case CommandLineOptions::Help:
            break;
        case CommandLineOptions::Info:
            if (!args.contains(o.file)) __builtin_trap();
            break;
        case CommandLineOptions::Export:
            if (!args.contains(o.file) || o.outDir.isEmpty()) __builtin_trap();
            if (o.format < EXPORT_DRAWING || o.format > EXPORT_COLOR_TARGA) __builtin_trap();
            if (o.startNumber > kMaxStartNumber) __builtin_trap();
            if (o.sequenceName.size() > kMaxSequenceName || !IsSequenceNameValid(o.sequenceName))
                __builtin_trap();
            break;
        case CommandLineOptions::Movie: {
            const bool images = o.movieFormat == MovieFormat::Png;
            const bool sound =
                o.movieFormat == MovieFormat::Mp4 || o.movieFormat == MovieFormat::WebM;
            if (!args.contains(o.file) || o.outDir.isEmpty()) __builtin_trap();
            if (o.fps < kMinMovieFps || o.fps > kMaxMovieFps) __builtin_trap();
            if (!sound && !o.soundFile.isEmpty()) __builtin_trap();
            if (images &&
                (o.startNumber > kMaxStartNumber || o.sequenceName.size() > kMaxSequenceName ||
                 !IsSequenceNameValid(o.sequenceName)))
                __builtin_trap();
            break;
        }
        default:
            break;
    }
    return 0;
}
