// Writes a set of believable drawing scans for trying the import by hand, for the benchmark
// and for screenshots: lumvane_make_scans DIR COUNT [options], see Usage below.
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "support/ScanMaker.h"

namespace {
void Usage() {
    std::fputs(
        "usage: lumvane_make_scans DIR COUNT [--size WxH] [--dpi N] [--jitter PIXELS DEGREES]\n"
        "       [--holes dark|light|none] [--bottom] [--format jpg|png] [--name PREFIX]\n"
        "       [--numbers N,N,...] [--no-blue] [--shadow LEVELS] [--quality Q]\n",
        stderr);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        Usage();
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]);
    scanmaker::ScanRecipe base;
    base.width = 1920;
    base.height = 1080;
    base.dpi = 150;
    double jitterPx = 0, jitterDeg = 0;
    QString format = QStringLiteral("jpg"), prefix = QStringLiteral("scan");
    QStringList numbers;
    int quality = 90;
    for (int i = 3; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        auto next = [&] { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
        if (a == QLatin1String("--size")) {
            const QStringList p = next().split(QLatin1Char('x'));
            base.width = p.value(0).toInt();
            base.height = p.value(1).toInt();
        } else if (a == QLatin1String("--dpi")) {
            base.dpi = next().toDouble();
        } else if (a == QLatin1String("--jitter")) {
            jitterPx = next().toDouble();
            jitterDeg = next().toDouble();
        } else if (a == QLatin1String("--holes")) {
            const QString h = next();
            base.holes = h == QLatin1String("light") ? 1 : h == QLatin1String("none") ? 0 : -1;
        } else if (a == QLatin1String("--bottom")) {
            base.holesTop = false;
        } else if (a == QLatin1String("--format")) {
            format = next();
        } else if (a == QLatin1String("--name")) {
            prefix = next();
        } else if (a == QLatin1String("--numbers")) {
            numbers = next().split(QLatin1Char(','));
        } else if (a == QLatin1String("--no-blue")) {
            base.blueLines = false;
        } else if (a == QLatin1String("--shadow")) {
            base.shadow = next().toDouble();
        } else if (a == QLatin1String("--quality")) {
            quality = next().toInt();
        } else {
            Usage();
            return 2;
        }
    }
    for (int i = 0; i < count; ++i) {
        scanmaker::ScanRecipe recipe = base;
        recipe.pose = i;
        recipe.seed = static_cast<std::uint32_t>(i + 1);
        // A fixed pseudo-random placement per drawing, within the jitter.
        const double u = std::sin(i * 12.9898) * 43758.5453, v = std::sin(i * 78.233) * 12345.678,
                     t = std::sin(i * 3.1) * 999.1;
        auto frac = [](double x) { return x - std::floor(x); };
        if (i > 0) {
            recipe.shiftX = (frac(u) * 2 - 1) * jitterPx;
            recipe.shiftY = (frac(v) * 2 - 1) * jitterPx * 0.3;
            recipe.angleDeg = (frac(t) * 2 - 1) * jitterDeg;
        }
        const scanmaker::Scan scan = scanmaker::MakeScan(recipe);
        QImage image(scan.rgb.data(), scan.width, scan.height, scan.width * 3,
                     QImage::Format_RGB888);
        const QString number = numbers.isEmpty()
                                   ? QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0'))
                                   : numbers.value(i);
        const QString path = QStringLiteral("%1/%2%3.%4").arg(dir, prefix, number, format);
        if (!image.save(path, nullptr, quality)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s shift %.2f %.2f turn %.3f\n", qPrintable(path), recipe.shiftX,
                    recipe.shiftY, recipe.angleDeg);
    }
    return 0;
}
