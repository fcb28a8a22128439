// Writes the seed corpus of fuzz_wav with the tests' WAV builder: one file per kind of input
// the Audio Load tests feed, valid and broken.
//   wav_make_corpus <directory>
#include <QDir>
#include <QString>
#include <cstdio>

#include "WavBuilder.h"

using wav::Bytes;
using wav::Cat;
using wav::Chunk;
using wav::Fmt;
using wav::Riff;

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const Bytes samples = wav::Samples(64, 7);
    const Bytes fmt = Chunk("fmt ", Fmt(1, 1, 11025, 8));
    const Bytes data = Chunk("data", samples);
    const Bytes odd = Chunk("LIST", Bytes(5, 'x'));
    struct Seed {
        const char* name;
        Bytes bytes;
    } seeds[] = {
        {"pcm8_11025", Riff(Cat({fmt, data}))},
        {"pcm8_8000_odd_length", wav::Pcm8(8000, wav::Samples(33, 3))},
        {"pcm8_fmt18", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 22050, 8, 18)), data}))},
        {"odd_chunks_around", Riff(Cat({odd, fmt, odd, Chunk("fact", Bytes(4, 1)), data, odd}))},
        {"junk_before_riff", Cat({Chunk("JUNK", Bytes(6, 0)), Riff(Cat({fmt, data}))})},
        {"form_avi", Riff(Cat({fmt, data}), "AVI ")},
        {"riff_size_past_end", Riff(Cat({fmt, data}), "WAVE", 4 + fmt.size() + data.size() + 2)},
        {"no_fmt", Riff(Cat({data}))},
        {"fmt_past_riff", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 8), 40)}))},
        {"fmt_header_cut", Riff(Bytes({'f', 'm', 't', ' ', 16, 0}))},
        {"stereo", Riff(Cat({Chunk("fmt ", Fmt(1, 2, 11025, 8)), data}))},
        {"pcm16", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 16)), data}))},
        {"adpcm", Riff(Cat({Chunk("fmt ", Fmt(0x11, 1, 11025, 4, 20)), data}))},
        {"fmt14", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 11025, 8, 14)), data}))},
        {"data_before_fmt", Riff(Cat({data, fmt}))},
        {"no_data", Riff(Cat({fmt, odd}))},
        {"empty_data", Riff(Cat({fmt, Chunk("data", {})}))},
        {"data_cut_short", Riff(Cat({fmt, Chunk("data", samples, samples.size() + 1)}))},
        {"data_size_near_4g", Riff(Cat({fmt, Chunk("data", samples, 0xFFFFFFF0)}))},
        {"rate_above_2g", Riff(Cat({Chunk("fmt ", Fmt(1, 1, 0xF0000000u, 8)), data}))},
    };
    for (const Seed& s : seeds) {
        const QString path = dir.filePath(QStringLiteral("seed_%1.wav").arg(s.name));
        if (!wav::Write(path, s.bytes)) return 1;
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
