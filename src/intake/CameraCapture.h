#pragma once

// Drawings shot from a camera over the pegs: the cameras there are, the settings of a
// capture, and the source that reads pictures on a thread of its own, cleans and fits them as
// Import Drawings does, and keeps the latest for the window to show and shoot.

#include <QRect>
#include <QSize>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "raster/GrayImage.h"
#include "raster/ScanCleanup.h"

// What a capture reads and how it cleans it; kept in [Capture] of the settings.
struct CaptureSettings {
    QString device;  // a V4L2 device path; empty: the first one found
    QString source;  // a video file that stands in for the camera; empty: the camera
    QSize size;      // asked of the camera; empty: what it gives by itself
    int fps = 0;     // asked of the camera; 0: what it gives by itself
    int rotate = 0;  // clockwise, 0, 90, 180 or 270
    bool mirror = false;
    bool autoLevels = true;
    bool dropColour = false;
    FitMode fit = FitMode::Inside;
    QRect crop;  // in the turned and mirrored picture; empty: all of it
};
CaptureSettings LoadCaptureSettings();
void SaveCaptureSettings(const CaptureSettings& settings);

struct CameraDevice {
    QString path;
    QString name;  // what the driver calls it
};
// Every video-capture device under root (/dev), in number order.
std::vector<CameraDevice> ListCameras(const QString& root = QStringLiteral("/dev"));

// A size and rate a camera offers.
struct CameraMode {
    QSize size;
    std::vector<int> fps;  // whole frames per second, highest first
};
std::vector<CameraMode> CameraModes(const QString& path);

QString CaptureTextNoCamera();
QString CaptureTextBusy(const QString& name);
QString CaptureTextCannotOpen(const QString& name, const QString& why);
QString CaptureTextNoGray(const QString& name);
QString CaptureTextStopped(const QString& name, const QString& why);
QString CaptureTextCapturing(const QString& name);
QString CaptureTextFull();

// The turned (clockwise by rotate degrees), mirrored and cropped picture, in that order.
// Returns false when memory runs out.
bool TurnPicture(const GrayPlane& in, int rotate, bool mirror, const QRect& crop, GrayPlane& out);
// Turns the picture as the settings say, cleans it as Import Drawings does and fits it into
// frame (created at the frame size). Returns false when memory runs out.
bool CleanCameraPicture(const GrayPlane& picture, const CaptureSettings& settings,
                        GrayImage& frame);

// A source of cleaned pictures of the frame size. Notify runs on the source's thread each
// time a newer picture or the end is there.
class ICaptureSource {
  public:
    virtual ~ICaptureSource() = default;
    // Opens the camera or file and starts reading; false with the text why.
    virtual bool Start(QString& error) = 0;
    // Stops reading and waits for the thread.
    virtual void Stop() = 0;
    // What the status bar names.
    virtual QString Name() const = 0;
    // Swaps a picture newer than seq into frame (a buffer of the frame size or none), with
    // seq and number (the picture's place in the source, 0 first) brought up to date.
    virtual bool TakeLatest(GrayImage& frame, std::uint64_t& seq, std::int64_t& number) = 0;
    // The source ended by a failure: its text.
    virtual bool Failed(QString& error) const = 0;
};

// Reads a V4L2 camera with libavdevice, or a video file paced at its own rate (played again
// from its start at its end), and cleans every picture on its own thread.
class CCameraSource : public ICaptureSource {
  public:
    CCameraSource(const CaptureSettings& settings, const QSize& frameSize,
                  std::function<void()> notify, const QString& deviceRoot = QStringLiteral("/dev"));
    ~CCameraSource() override;
    bool Start(QString& error) override;
    void Stop() override;
    QString Name() const override { return m_name; }
    bool TakeLatest(GrayImage& frame, std::uint64_t& seq, std::int64_t& number) override;
    bool Failed(QString& error) const override;

  private:
    struct Reader;
    void Run();
    void Publish(GrayImage& picture, std::int64_t number);
    void Fail(const QString& error);

    CaptureSettings m_settings;
    QSize m_frameSize;
    std::function<void()> m_notify;
    QString m_deviceRoot;
    QString m_name;
    std::unique_ptr<Reader> m_reader;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    GrayImage m_latest;
    std::uint64_t m_seq = 0;
    std::int64_t m_number = -1;
    QString m_error;
};
