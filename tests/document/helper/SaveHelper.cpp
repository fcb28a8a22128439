// Saves an animation of noisy frames over a file, for the kill-during-save test:
//   anm_save_helper <path> <frames> <width> <height> <seed>
// Prints "saving" just before the save starts and "saved <ms>" when it is complete.
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "document/LumvaneDoc.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int frames = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    std::uint64_t state = std::strtoull(argv[5], nullptr, 10) | 1;
    CScriptedUi ui;  // no windows: a failure is only recorded
    CLumvaneDoc doc;
    if (!doc.CreateAnimation(width, height)) return 3;
    for (int f = 0; f < frames; ++f) {
        if (f > 0) doc.OnAddFrame();
        frames::Edit frame(doc, doc.m_nCurrentFrame);
        unsigned char* p = frame->GetData();
        for (std::size_t i = 0; i < frame->PixelCount(); ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            p[i] = static_cast<unsigned char>(state);
        }
    }
    std::printf("saving\n");
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    if (!doc.OnSaveDocument(path)) return 4;
    std::printf("saved %lld\n", static_cast<long long>(t.elapsed()));
    std::fflush(stdout);
    return 0;
}
