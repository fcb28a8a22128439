// Writes the seed corpus of fuzz_anm with the program's own writer:
//   anm_make_corpus <directory>
#include <QDir>
#include <QString>
#include <cstdio>

#include "document/LumvaneDoc.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

namespace {
bool Save(CLumvaneDoc& doc, const QString& dir, const char* name) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(name));
    if (!doc.OnSaveDocument(path)) return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    CScriptedUi ui;  // no windows

    CLumvaneDoc white;
    white.CreateAnimation(36, 20);
    if (!Save(white, dir, "seed_white.anm")) return 1;

    // Three frames of line art drawn with different brushes, eraser mode and choices set.
    CLumvaneDoc lines;
    lines.CreateAnimation(64, 48);
    for (int f = 0; f < 3; ++f) {
        if (f > 0) lines.OnAddFrame();
        frames::Edit img(lines, f);
        img->DrawLine(lines.m_brushes[f + 1], 3, 4 + f * 5, 60, 40 - f * 3, 0, 255);
        img->DrawLine(lines.m_brushes[6], 10, 40, 30 + f * 8, 8, 0, 180);
        img->DrawStamp(lines.m_brushes[9], 40, 20, 1, 255);
    }
    lines.m_nCurrentFrame = 1;
    lines.m_bEraser = 1;
    lines.m_nDrawBrush = 3;
    lines.m_nEraseBrush = 8;
    lines.m_brushes[2].Build(40, 75);
    if (!Save(lines, dir, "seed_lines.anm")) return 1;

    // Alternating pixels: the writer's worst case, one run per pixel.
    CLumvaneDoc alt;
    alt.CreateAnimation(20, 12);
    {
        frames::Edit img(alt, 0);
        for (std::size_t i = 0; i < img->PixelCount(); ++i) img->GetData()[i] = (i % 2) ? 0 : 255;
    }
    if (!Save(alt, dir, "seed_alternating.anm")) return 1;

    // Two frames of gradients: runs of every value, rows joined by runs.
    CLumvaneDoc grad;
    grad.CreateAnimation(40, 30);
    grad.OnAddFrame();
    for (int f = 0; f < 2; ++f) {
        frames::Edit img(grad, f);
        for (std::size_t i = 0; i < img->PixelCount(); ++i)
            img->GetData()[i] = static_cast<unsigned char>((i / (3 + f)) & 0xFF);
    }
    if (!Save(grad, dir, "seed_gradient.anm")) return 1;

    // Many small frames.
    CLumvaneDoc many;
    many.CreateAnimation(4, 2);
    for (int f = 1; f < 40; ++f) {
        many.OnAddFrame();
        frames::Fill(many, f, f * 6);
    }
    if (!Save(many, dir, "seed_many_frames.anm")) return 1;
    return 0;
}
