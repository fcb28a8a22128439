#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QWidget>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "document/LumvaneDoc.h"
#include "framework/Archive.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"
#include "raster/CompactImage.h"
#include "support/FrameAccess.h"
#include "support/HintRecorder.h"

namespace doctest {

// Little-endian byte strings for building and checking files by hand.
inline QByteArray I32(std::int32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return b;
}
inline QByteArray RunBytes(int value, std::uint32_t count) {
    return QByteArray(1, static_cast<char>(value)) + I32(static_cast<std::int32_t>(count));
}
inline QByteArray Header(int count, int current, int eraser1, int width, int height, int eraser,
                         int draw, int erase) {
    return I32(count) + I32(current) + I32(eraser1) + I32(width) + I32(height) + I32(eraser) +
           I32(draw) + I32(erase);
}
// Ten brush records with sizes 2, 3, ... 11 and hardness 0.
inline QByteArray Brushes() {
    QByteArray b;
    for (int i = 0; i < 10; ++i) b += I32(2 + i) + I32(0);
    return b;
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}
inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

// Serialize through an archive over memory; loading rethrows the archive's exception.
inline QByteArray Store(CLumvaneDoc& doc) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    CArchive ar(&buf, CArchive::store);
    doc.Serialize(ar);
    ar.Flush();
    return bytes;
}
inline void Load(CLumvaneDoc& doc, const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buf(&copy);
    buf.open(QIODevice::ReadOnly);
    CArchive ar(&buf, CArchive::load);
    doc.Serialize(ar);
}

// Pixels as bytes: of an image, of borrowed pixels, or of a frame as kept (decoded here).
inline QByteArray Pixels(const GrayImage& img) {
    return QByteArray(reinterpret_cast<const char*>(img.GetData()),
                      static_cast<qsizetype>(img.PixelCount()));
}
inline QByteArray Pixels(const std::shared_ptr<const GrayImage>& img) {
    return img ? Pixels(*img) : QByteArray();
}
inline QByteArray Pixels(const CompactImage& frame) {
    GrayImage img;
    return frame.Decode(img) ? Pixels(img) : QByteArray();
}
inline void SetPixels(GrayImage& img, std::initializer_list<int> values) {
    int i = 0;
    for (int v : values) img.GetData()[i++] = static_cast<unsigned char>(v);
}

// An animation with one frame per entry of fills, each frame filled with that value.
inline void MakeAnimation(CLumvaneDoc& doc, int width, int height,
                          std::initializer_list<int> fills) {
    doc.CreateAnimation(width, height);
    int i = 0;
    for (int v : fills) {
        if (i > 0) {
            doc.m_nCurrentFrame = i - 1;
            doc.OnAddFrame();
        }
        frames::Fill(doc, i, v);
        ++i;
    }
    doc.m_nCurrentFrame = 0;
    doc.m_bOnionSkin = 0;
    doc.SetModifiedFlag(false);
}

// Everything of a document that loading, New or a command could change.
struct DocState {
    int frameCount, currentFrame, width, height, eraser, drawBrush, eraseBrush;
    int undoValid, clipValid, onionSkin, onionCount, viewsReady;
    std::vector<QByteArray> frames;
    QByteArray undo, clip;
    std::vector<std::pair<int, int>> brushes;  // size, core
    QString path, title;
    bool modified;
    bool operator==(const DocState&) const = default;
};
inline DocState Capture(CLumvaneDoc& d) {
    DocState s{d.m_nFrameCount,
               d.m_nCurrentFrame,
               d.m_nWidth,
               d.m_nHeight,
               d.m_bEraser,
               d.m_nDrawBrush,
               d.m_nEraseBrush,
               d.m_bUndoValid,
               d.m_bClipValid,
               d.m_bOnionSkin,
               d.m_nOnionCount,
               d.m_bViewsReady,
               {},
               {},
               {},
               {},
               d.GetPathName(),
               d.GetTitle(),
               d.IsModified()};
    for (int i = 0; i < CLumvaneDoc::kMaxFrames; ++i) {
        if (i < d.m_nFrameCount)
            s.frames.push_back(Pixels(d.m_frames[i]));
        else if (!d.m_frames[i].Empty())
            s.frames.push_back("unexpected pixels");
    }
    s.undo = Pixels(d.m_undoImage);
    s.clip = Pixels(d.m_clipImage);
    for (const BrushStamp& b : d.m_brushes) s.brushes.push_back({b.GetSize(), b.GetCore()});
    return s;
}

// A main window whose active view belongs to the document, so commands run as from a menu
// or key: the update rule first, then the handler.
struct CommandHarness {
    CLumvaneDoc doc;
    CFrameWnd frame;
    CHintRecorder* view;
    CommandHarness() : view(new CHintRecorder(&doc)) {
        frame.setCentralWidget(view);
        frame.SetActiveView(view);
    }
    bool Exec(int id) { return frame.ExecuteCommand(id); }
    bool Enabled(int id) {
        CCmdUI ui(id);
        frame.UpdateCmdUI(ui);
        return ui.m_bEnabled;
    }
    int Checked(int id) {
        CCmdUI ui(id);
        frame.UpdateCmdUI(ui);
        return ui.m_nCheck;
    }
    // The fill value of each frame in use (frames made by MakeAnimation are uniform).
    std::vector<int> Fills() {
        std::vector<int> v;
        for (int i = 0; i < doc.m_nFrameCount; ++i) v.push_back(frames::Read(doc, i)->GetData()[0]);
        return v;
    }
};

}  // namespace doctest
