#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "intake/CameraCapture.h"
#include "raster/GrayImage.h"

class CLumvaneDoc;
class CMainFrame;

// Frames > Capture in one main window: the camera live in the drawing view over the onion
// frames, Space or Return shooting the picture shown into a new frame after the current one,
// Backspace taking the last shot back, Escape ending. Shots enter through the document.
class CCaptureMode : public QObject {
    Q_OBJECT
  public:
    using SourceFactory = std::function<std::unique_ptr<ICaptureSource>(
        const CaptureSettings&, const QSize& frameSize, std::function<void()> notify)>;

    // playing: whether playback runs (the live picture waits meanwhile).
    CCaptureMode(CLumvaneDoc& doc, CMainFrame* frame, std::function<bool()> playing);
    ~CCaptureMode() override;

    // Where cameras are looked for (/dev); the tests give a folder of their own.
    void SetDeviceRoot(const QString& root) { m_deviceRoot = root; }
    // What reads the pictures; by default the camera or file of the settings.
    void SetSourceFactory(SourceFactory factory) { m_factory = std::move(factory); }

    bool IsCapturing() const { return m_source != nullptr; }
    // Frames > Capture: starts, or ends a running capture.
    void OnCapture();
    // Frames > Capture Settings...
    void OnCaptureSettings();
    void Shoot();
    void TakeBack();
    void End();

    // The picture on screen and its place in the source (-1: none yet).
    const GrayImage& Shown() const { return m_shown; }
    std::int64_t ShownNumber() const { return m_nShownNumber; }
    // Frames shot in this capture and still there.
    int ShotCount() const { return static_cast<int>(m_shots.size()); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnPicture();
    void OnDocumentChanged();
    // The onion list as offsets from the current frame, laid again around the new one.
    std::vector<int> OnionOffsets() const;
    void RestoreOnion(bool on, const std::vector<int>& offsets);
    void ShowStatus();
    bool Playing() const { return m_playing && m_playing(); }

    CLumvaneDoc& m_doc;
    QPointer<CMainFrame> m_frame;
    std::function<bool()> m_playing;
    QString m_deviceRoot = QStringLiteral("/dev");
    SourceFactory m_factory;
    std::unique_ptr<ICaptureSource> m_source;
    std::shared_ptr<std::atomic<bool>> m_pending = std::make_shared<std::atomic<bool>>(false);
    GrayImage m_shown;
    std::uint64_t m_nSeq = 0;
    std::int64_t m_nShownNumber = -1;
    std::vector<std::uint64_t> m_shots;  // ids of the frames shot, oldest first
    bool m_bOwnChange = false;
};

// Adds Capture and Capture Settings to the document's command table for that window; the
// returned mode lives as long as the window.
CCaptureMode* RegisterCaptureCommands(CLumvaneDoc& doc, CMainFrame* frame,
                                      std::function<bool()> playing);
