// Writes the seed corpus of fuzz_cmdline: argument lists of the command-line tests, each file
// holding the arguments separated by NUL bytes.
//   cmdline_make_corpus <directory>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList seeds[] = {
        {"walk.anm"},
        {"-platform", "offscreen", "walk.anm"},
        {"--", "--info", "walk.anm"},
        {"--help"},
        {"-h"},
        {"--export", "png", "--help"},
        {"--info", "walk.anm"},
        {"--info", "--", "-odd.anm"},
        {"--info", "a.anm", "b.anm"},
        {"--info=yes", "a.anm"},
        {"--info", "--export", "tsd", "--out", "d", "a.anm"},
        {"--info", "--out", "d", "a.anm"},
        {"--export"},
        {"--export", "tsd", "--out"},
        {"--export", "png", "--out", "d", "a.anm"},
        {"--export", "tsd", "--out", "", "a.anm"},
        {"--export", "tsd", "--export=tsd", "--out", "d", "a.anm"},
        {"--export", "tsd", "--out", "d", "--name", "my walk", "a.anm"},
        {"--export", "tsd", "--out", "d", "--start", "10000", "a.anm"},
        {"--export", "tsd", "--out", "d", "--start", "x", "--name", "abcdefghijklmnopqrstuvwxyz",
         "a.anm"},
        {"--export", "tsd", "--out", "d", "dir/walk.v2.anm"},
        {"--export", "tsd", "--out", "d", "dir/walk.anm"},
        {"--export=tga-gray", "--out=d/", "--name=run", "--start=0", "x.anm"},
        {"x.anm", "--start", " 9999 ", "--name", "", "--out", "o", "--export", "tga-color"},
        {"--export", "tsd", "--out", "d", "--name", "abcdefghijklmnopqrstuvwxy", "--", "-a.anm"},
        {"--export", "tga-color", "--out", "/tmp/out", "--start", "+7", "w\xc3\xa4lk.anm"},
        {"--export", "mp4", "--out", "m.mp4", "--fps", "12", "--sound", "t.wav", "walk.anm"},
        {"--export=webm", "--out=w.webm", "--fps=101", "walk.anm"},
        {"--export", "gif", "--out", "g.gif", "--sound", "t.wav", "walk.anm"},
        {"--export", "png", "--out", "d", "--name", "run", "--start", "9999", "walk.anm"},
        {"--export", "png", "--out", "d", "--fps", "25", "walk.anm"},
        {"--export", "mp4", "--out", "m.mp4", "--name", "walk", "--sound=", "walk.anm"},
    };
    int n = 0;
    for (const QStringList& args : seeds) {
        QByteArray bytes;
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (i > 0) bytes += '\0';
            bytes += args[i].toLocal8Bit();
        }
        const QString path =
            dir.filePath(QStringLiteral("seed_%1.args").arg(++n, 2, 10, QChar('0')));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return 1;
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
