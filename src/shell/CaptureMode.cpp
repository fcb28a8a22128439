#include "shell/CaptureMode.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStatusBar>
#include <algorithm>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"
#include "intake/CaptureSettingsDlg.h"
#include "shell/MainFrame.h"
#include "views/LumvaneView.h"

CCaptureMode::CCaptureMode(CLumvaneDoc& doc, CMainFrame* frame, std::function<bool()> playing)
    : QObject(frame), m_doc(doc), m_frame(frame), m_playing(std::move(playing)) {
    connect(&doc, &CLumvaneDoc::FrameRectChanged, this, [this] { OnDocumentChanged(); });
    connect(&doc, &CLumvaneDoc::FrameListChanged, this, [this] { OnDocumentChanged(); });
}

CCaptureMode::~CCaptureMode() {
    if (m_source) m_source->Stop();
    QCoreApplication::instance()->removeEventFilter(this);
}

void CCaptureMode::OnCapture() {
    if (IsCapturing()) {
        End();
        return;
    }
    if (m_doc.m_nFrameCount <= 0 || m_doc.m_nWidth <= 0 || m_doc.m_nHeight <= 0) return;
    const CaptureSettings settings = LoadCaptureSettings();
    const QSize size(m_doc.m_nWidth, m_doc.m_nHeight);
    auto pending = m_pending;
    pending->store(false);
    // Called on the source's thread: at most one picture waits in the window's queue.
    auto notify = [this, pending] {
        if (pending->exchange(true)) return;
        QMetaObject::invokeMethod(
            this,
            [this, pending] {
                pending->store(false);
                OnPicture();
            },
            Qt::QueuedConnection);
    };
    std::unique_ptr<ICaptureSource> source =
        m_factory ? m_factory(settings, size, notify)
                  : std::make_unique<CCameraSource>(settings, size, notify, m_deviceRoot);
    QString error;
    if (!source->Start(error)) {
        AfxMessageBox(error);
        return;
    }
    m_source = std::move(source);
    m_shots.clear();
    m_nSeq = 0;
    m_nShownNumber = -1;
    m_shown.Free();
    if (CLumvaneView* view = m_frame ? m_frame->DrawingView() : nullptr) {
        view->SetLivePicture([this]() -> const unsigned char* {
            if (Playing() || !m_shown.GetData() || m_shown.GetWidth() != m_doc.m_nWidth ||
                m_shown.GetHeight() != m_doc.m_nHeight)
                return nullptr;
            return m_shown.GetData();
        });
        view->ComposeFrame(m_doc.m_nCurrentFrame);
    }
    QCoreApplication::instance()->installEventFilter(this);
    ShowStatus();
}

void CCaptureMode::ShowStatus() {
    if (m_frame && m_source) m_frame->SetMessageText(CaptureTextCapturing(m_source->Name()));
}

void CCaptureMode::End() {
    if (!m_source) return;
    m_source->Stop();
    m_source.reset();
    QCoreApplication::instance()->removeEventFilter(this);
    if (CLumvaneView* view = m_frame ? m_frame->DrawingView() : nullptr) {
        view->SetLivePicture(nullptr);
        view->ComposeFrame(m_doc.m_nCurrentFrame);
        view->viewport()->update();
    }
    if (m_frame) m_frame->SetMessageText(CFrameWnd::IdleText());
}

void CCaptureMode::OnPicture() {
    if (!m_source) return;
    QString error;
    if (m_source->Failed(error)) {
        End();
        AfxMessageBox(error);
        return;
    }
    if (!m_source->TakeLatest(m_shown, m_nSeq, m_nShownNumber)) return;
    // Another animation was made or opened meanwhile: its frames are of another size.
    if (m_shown.GetWidth() != m_doc.m_nWidth || m_shown.GetHeight() != m_doc.m_nHeight) {
        End();
        return;
    }
    if (m_frame && m_frame->StatusBar()->currentMessage() == CFrameWnd::IdleText()) ShowStatus();
    if (Playing()) return;
    if (CLumvaneView* view = m_frame ? m_frame->DrawingView() : nullptr) view->ShowLivePicture();
}

void CCaptureMode::OnDocumentChanged() {
    if (!m_bOwnChange) End();
}

std::vector<int> CCaptureMode::OnionOffsets() const {
    std::vector<int> offsets;
    const int n = std::clamp(m_doc.m_nOnionCount, 0, CLumvaneDoc::kMaxOnionFrames);
    for (int k = 0; k < n; ++k) offsets.push_back(m_doc.m_onionFrames[k] - m_doc.m_nCurrentFrame);
    return offsets;
}

void CCaptureMode::RestoreOnion(bool on, const std::vector<int>& offsets) {
    // The drawings under the live picture stay the same ones relative to it.
    m_doc.m_bOnionSkin = on ? 1 : 0;
    int n = 0;
    for (int offset : offsets) {
        const int f = m_doc.m_nCurrentFrame + offset;
        if (f >= 0 && f < m_doc.m_nFrameCount) m_doc.m_onionFrames[n++] = f;
    }
    m_doc.m_nOnionCount = n;
    m_doc.UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CCaptureMode::Shoot() {
    if (!m_source) return;
    if (m_doc.m_nFrameCount >= CLumvaneDoc::kMaxFrames) {
        QApplication::beep();
        if (m_frame) m_frame->SetMessageText(CaptureTextFull());
        return;
    }
    if (!m_shown.GetData() || m_shown.GetWidth() != m_doc.m_nWidth ||
        m_shown.GetHeight() != m_doc.m_nHeight) {
        QApplication::beep();
        return;
    }
    std::vector<GrayImage> frames(1);
    if (!frames[0].Create(m_doc.m_nWidth, m_doc.m_nHeight)) {
        AfxMessageBox(QStringLiteral("Not enough memory to add a frame."));
        return;
    }
    std::memcpy(frames[0].GetData(), m_shown.GetData(), m_shown.PixelCount());
    const bool onion = m_doc.m_bOnionSkin != 0;
    const std::vector<int> offsets = OnionOffsets();
    m_bOwnChange = true;
    const int done = m_doc.InsertFrames(m_doc.m_nCurrentFrame, frames);
    if (done) {
        m_shots.push_back(m_doc.Mark(m_doc.m_nCurrentFrame).id);
        RestoreOnion(onion, offsets);
    }
    m_bOwnChange = false;
    ShowStatus();
}

void CCaptureMode::TakeBack() {
    if (!m_source || m_shots.empty()) return;
    const std::uint64_t id = m_shots.back();
    m_shots.pop_back();
    int index = -1;
    for (int i = 0; i < m_doc.m_nFrameCount; ++i)
        if (m_doc.Mark(i).id == id) index = i;
    if (index < 0) return;
    // The offsets are taken around the shot, which the frame before it replaces as current.
    const bool onion = m_doc.m_bOnionSkin != 0;
    std::vector<int> offsets = OnionOffsets();
    const int shift = m_doc.m_nCurrentFrame - index;
    for (int& o : offsets) o += shift;
    m_bOwnChange = true;
    if (m_doc.RemoveFrame(index)) RestoreOnion(onion, offsets);
    m_bOwnChange = false;
    ShowStatus();
}

void CCaptureMode::OnCaptureSettings() {
    End();
    CaptureSettings settings = LoadCaptureSettings();
    if (RunCaptureSettingsDlg(settings, ListCameras(m_deviceRoot), m_frame))
        SaveCaptureSettings(settings);
}

bool CCaptureMode::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !m_source || !m_frame)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Playback stops at any key; dialogs and other windows keep their keys.
    if (!widget || widget->window() != m_frame || QApplication::activeModalWidget() || Playing())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    const int k = key->key();
    if (k != Qt::Key_Space && k != Qt::Key_Return && k != Qt::Key_Enter && k != Qt::Key_Backspace &&
        k != Qt::Key_Escape)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Keeps Space from the eraser and Backspace from Clear Frame while capturing.
        event->accept();
        return true;
    }
    if (key->isAutoRepeat()) return true;
    if (k == Qt::Key_Backspace)
        TakeBack();
    else if (k == Qt::Key_Escape)
        End();
    else
        Shoot();
    return true;
}

CCaptureMode* RegisterCaptureCommands(CLumvaneDoc& doc, CMainFrame* frame,
                                      std::function<bool()> playing) {
    auto* mode = new CCaptureMode(doc, frame, std::move(playing));
    const QPointer<CCaptureMode> m(mode);
    doc.OnCommand(ID_FRAMES_CAPTURE, [m] {
        if (m) m->OnCapture();
    });
    doc.OnCommand(ID_FRAMES_CAPTURESETTINGS, [m] {
        if (m) m->OnCaptureSettings();
    });
    doc.OnUpdateCommand(ID_FRAMES_CAPTURE, [m](CCmdUI* ui) {
        ui->Enable(m != nullptr);
        ui->SetCheck(m && m->IsCapturing());
    });
    doc.OnUpdateCommand(ID_FRAMES_CAPTURESETTINGS, [m](CCmdUI* ui) { ui->Enable(m != nullptr); });
    return mode;
}
