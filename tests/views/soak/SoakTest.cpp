// Soak: 10,000 random user actions with a fixed seed against the real document, the real
// drawing view and a main window, checking the document's invariants after every action and
// that every save and reopen keeps every pixel of every frame. Outside the default run:
//   ctest -L soak          (or LUMVANE_SOAK_ACTIONS=n test_soak for a shorter or longer run)
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <random>
#include <sstream>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"

namespace {

const QStringList kConfirmations = {
    QStringLiteral("Are you sure you want to clear the frame?"),
    QStringLiteral("Are you sure you want to delete this frame? (You can't Undo)"),
    QStringLiteral("Are you sure? You will lose changes since last save!")};

// Empty when every invariant holds, else what broke.
std::string Invariants(const CLumvaneDoc& d) {
    std::ostringstream e;
    if (d.m_nFrameCount < 1 || d.m_nFrameCount > CLumvaneDoc::kMaxFrames)
        e << "frame count " << d.m_nFrameCount << "; ";
    if (d.m_nCurrentFrame < 0 || d.m_nCurrentFrame >= d.m_nFrameCount)
        e << "current frame " << d.m_nCurrentFrame << " of " << d.m_nFrameCount << "; ";
    const std::size_t pixels = static_cast<std::size_t>(d.m_nWidth) * d.m_nHeight;
    for (int i = 0; i < CLumvaneDoc::kMaxFrames; ++i) {
        const CompactImage& f = d.m_frames[i];
        if (i < d.m_nFrameCount) {
            if (f.Empty() || f.Width() != d.m_nWidth || f.Height() != d.m_nHeight ||
                f.PixelCount() != pixels)
                e << "frame " << i << " is " << f.Width() << "x" << f.Height() << "; ";
        } else if (!f.Empty()) {
            e << "slot " << i << " past the count holds pixels; ";
        }
    }
    if (d.m_undoImage.PixelCount() != pixels || d.m_undoImage.GetWidth() != d.m_nWidth)
        e << "undo buffer " << d.m_undoImage.PixelCount() << "; ";
    if (d.m_clipImage.PixelCount() != pixels || d.m_clipImage.GetWidth() != d.m_nWidth)
        e << "copy buffer " << d.m_clipImage.PixelCount() << "; ";
    if (d.m_bClipValid && (d.m_nClipWidth < 1 || d.m_nClipWidth > d.m_nWidth ||
                           d.m_nClipHeight < 1 || d.m_nClipHeight > d.m_nHeight))
        e << "copied region " << d.m_nClipWidth << "x" << d.m_nClipHeight << "; ";
    if (d.m_nOnionCount < 0 || d.m_nOnionCount > CLumvaneDoc::kMaxOnionFrames) {
        e << "onion count " << d.m_nOnionCount << "; ";
    } else {
        for (int k = 0; k < d.m_nOnionCount; ++k) {
            const int f = d.m_onionFrames[k];
            if (f < 0 || f >= d.m_nFrameCount) e << "onion entry " << f << "; ";
            for (int j = 0; j < k; ++j)
                if (d.m_onionFrames[j] == f) e << "onion entry " << f << " twice; ";
        }
    }
    return e.str();
}

std::vector<QByteArray> AllPixels(const CLumvaneDoc& d) {
    std::vector<QByteArray> v;
    for (int i = 0; i < d.m_nFrameCount; ++i) {
        const std::vector<unsigned char> f = frames::Bytes(d, i);
        v.emplace_back(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
    }
    return v;
}

class Soak {
  public:
    Soak() : m_rng(20240607) {
        m_view = new CLumvaneView(&m_doc, &m_frame);
        m_frame.setCentralWidget(m_view);
        m_frame.SetActiveView(m_view);
        m_frame.resize(420, 320);
        AfxSetMainWnd(&m_frame);
        m_doc.CreateAnimation(120, 90);
        m_doc.SetPathName(m_dir.filePath("soak.anm"), false);
        EXPECT_EQ(m_doc.OnSaveDocument(m_doc.GetPathName()), 1);  // Revert needs a file
        m_frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
        m_doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
        QCoreApplication::processEvents();
    }
    ~Soak() { AfxSetMainWnd(nullptr); }

    // One random action; returns its description.
    std::string Step() {
        m_ui.m_answers = {IDYES};
        m_ui.Clear();
        const int pick = Uniform(0, 99);
        std::ostringstream a;
        if (pick < 30) {
            Stroke(a);
        } else if (pick < 55) {
            static const int ids[] = {
                ID_FRAMES_ADDFRAME,    ID_FRAMES_ADDFRAME,   ID_FRAMES_ADDFRAME,
                ID_FRAMES_DELETEFRAME, ID_FRAMES_FIRSTFRAME, ID_FRAMES_PREVFRAME,
                ID_FRAMES_NEXTFRAME,   ID_FRAMES_LASTFRAME,  ID_EDIT_CLEARFRAME,
                ID_EDIT_UNDO,          ID_EDIT_UNDO};
            const int id = ids[Uniform(0, std::size(ids) - 1)];
            a << "command " << id << " ran " << m_frame.ExecuteCommand(id);
        } else if (pick < 67) {
            static const int ids[] = {ID_EDIT_COPY,        ID_EDIT_PASTE, ID_EDIT_PASTELINES,
                                      ID_EDIT_COPY,        ID_EDIT_PASTE, ID_EDIT_PASTELINES,
                                      ID_EDIT_BOXSELECTION};
            const int id = ids[Uniform(0, std::size(ids) - 1)];
            a << "edit " << id << " ran " << m_frame.ExecuteCommand(id);
        } else if (pick < 72) {
            a << "onion skin ran " << m_frame.ExecuteCommand(ID_VIEW_ONIONSKIN);
        } else if (pick < 88) {
            // Digit keys: through the view's key handling or through the window's routing.
            const int digit = Uniform(1, 9);
            if (Uniform(0, 1)) {
                QTest::keyClick(m_view, static_cast<Qt::Key>(Qt::Key_0 + digit));
                a << "key " << digit;
            } else {
                static const int ids[9] = {
                    ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                    ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                    ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
                a << "frame key command " << digit << " ran "
                  << m_frame.ExecuteCommand(ids[digit - 1]);
            }
        } else if (pick < 92) {
            QTest::keyClick(m_view, Qt::Key_Space);
            a << "eraser " << m_doc.m_bEraser;
        } else if (pick < 94) {
            m_doc.m_nDrawBrush = Uniform(0, 9);
            m_doc.m_nEraseBrush = Uniform(0, 9);
            a << "brushes " << m_doc.m_nDrawBrush << " " << m_doc.m_nEraseBrush;
        } else if (pick < 97) {
            SaveAndReopen(a);
        } else {
            a << "revert ran " << m_frame.ExecuteCommand(ID_FILE_REVERTTOSAVED);
        }
        m_nMaxFrames = std::max(m_nMaxFrames, m_doc.m_nFrameCount);
        m_nOnionMax = std::max(m_nOnionMax, m_doc.m_nOnionCount);
        if (a.str().find(" ran 1") != std::string::npos) ++m_nRan;
        for (const QString& t : m_ui.Texts())
            if (!kConfirmations.contains(t)) m_error += "unexpected message: " + t.toStdString();
        m_error += Invariants(m_doc);
        return a.str();
    }

    std::string m_error;  // empty while all is well
    // How much of the program the run reached.
    int m_nSaves = 0;
    int m_nDrawn = 0;
    int m_nRan = 0;
    int m_nMaxFrames = 0;
    int m_nOnionMax = 0;

  private:
    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    QWidget* Pane() { return m_view->viewport(); }
    // Mostly over the frame (centred in the pane), sometimes on the margins and past the pane.
    QPoint RandomPoint() {
        if (Uniform(0, 4) == 0)
            return QPoint(Uniform(-20, Pane()->width() + 20), Uniform(-20, Pane()->height() + 20));
        return QPoint(m_view->m_nOffsetX + Uniform(-10, m_doc.m_nWidth + 10),
                      m_view->m_nOffsetY + Uniform(-10, m_doc.m_nHeight + 10));
    }

    void Stroke(std::ostringstream& a) {
        const std::uint64_t before = Sum(*frames::Read(m_doc, m_doc.m_nCurrentFrame));
        const Qt::KeyboardModifiers mods =
            Uniform(0, 9) == 0 ? Qt::ControlModifier : Qt::NoModifier;
        QPoint p = RandomPoint();
        a << "stroke" << (mods ? " scrub" : "") << " from " << p.x() << "," << p.y();
        QTest::mousePress(Pane(), Qt::LeftButton, mods, p);
        for (int n = Uniform(0, 5); n > 0; --n) {
            p += QPoint(Uniform(-30, 30), Uniform(-30, 30));
            QMouseEvent e(QEvent::MouseMove, QPointF(p), Pane()->mapToGlobal(QPointF(p)),
                          Qt::NoButton, Qt::LeftButton, mods);
            QCoreApplication::sendEvent(Pane(), &e);
            a << " " << p.x() << "," << p.y();
        }
        QTest::mouseRelease(Pane(), Qt::LeftButton, mods, p);
        if (Sum(*frames::Read(m_doc, m_doc.m_nCurrentFrame)) != before) ++m_nDrawn;
    }
    static std::uint64_t Sum(const GrayImage& f) {
        std::uint64_t s = 0;
        for (std::size_t i = 0; i < f.PixelCount(); ++i) s = s * 31 + f.GetData()[i];
        return s;
    }

    void SaveAndReopen(std::ostringstream& a) {
        const std::vector<QByteArray> before = AllPixels(m_doc);
        const int current = m_doc.m_nCurrentFrame;
        const QString path = m_doc.GetPathName();
        a << "save and reopen " << m_doc.m_nFrameCount << " frames";
        if (!m_doc.OnSaveDocument(path)) {
            m_error += "save failed; ";
            return;
        }
        ++m_nSaves;
        if (!m_doc.OnOpenDocument(path)) {
            m_error += "reopen failed; ";
            return;
        }
        if (AllPixels(m_doc) != before) m_error += "pixels changed by save and reopen; ";
        if (m_doc.m_nCurrentFrame != current) m_error += "current frame changed by reopen; ";
        if (m_doc.IsModified()) m_error += "modified after reopen; ";
    }

    CScriptedUi m_ui;
    QTemporaryDir m_dir;
    CLumvaneDoc m_doc;
    CFrameWnd m_frame;
    CLumvaneView* m_view;
    std::mt19937 m_rng;
};

}  // namespace

TEST(Soak, TenThousandRandomActionsKeepTheDocumentWhole) {
    const int actions = qEnvironmentVariableIsSet("LUMVANE_SOAK_ACTIONS")
                            ? qEnvironmentVariableIntValue("LUMVANE_SOAK_ACTIONS")
                            : 10000;
    Soak soak;
    std::deque<std::string> recent;  // the actions leading up to a failure
    for (int i = 0; i < actions; ++i) {
        recent.push_back(std::to_string(i) + ": " + soak.Step());
        if (recent.size() > 12) recent.pop_front();
        if (!soak.m_error.empty()) {
            std::string log;
            for (const std::string& r : recent) log += r + "\n";
            FAIL() << "after action " << i << ": " << soak.m_error << "\n" << log;
        }
    }
    std::printf(
        "%d actions: %d strokes drew, %d commands ran, %d saves and reopens, up to %d "
        "frames, up to %d onion frames\n",
        actions, soak.m_nDrawn, soak.m_nRan, soak.m_nSaves, soak.m_nMaxFrames, soak.m_nOnionMax);
    EXPECT_GT(soak.m_nSaves, 0);
    EXPECT_GT(soak.m_nDrawn, 0);
}
