#pragma once

#include <vector>

#include "framework/Dialog.h"
#include "intake/CameraCapture.h"

class QComboBox;

// Control ids of the Capture Settings dialog.
enum : int {
    IDC_CAPTURE_CAMERA = 1300,
    IDC_CAPTURE_SOURCE = 1301,
    IDC_CAPTURE_SIZE = 1302,
    IDC_CAPTURE_RATE = 1303,
    IDC_CAPTURE_ROTATE0 = 1304,
    IDC_CAPTURE_ROTATE90 = 1305,
    IDC_CAPTURE_ROTATE180 = 1306,
    IDC_CAPTURE_ROTATE270 = 1307,
    IDC_CAPTURE_MIRROR = 1308,
    IDC_CAPTURE_LEVELS = 1309,
    IDC_CAPTURE_DROPCOLOUR = 1310,
    IDC_CAPTURE_CROPLEFT = 1311,
    IDC_CAPTURE_CROPTOP = 1312,
    IDC_CAPTURE_CROPWIDTH = 1313,
    IDC_CAPTURE_CROPHEIGHT = 1314,
};

// "Capture Settings": the camera (or a video file in its place), the size and rate it offers,
// how the picture is turned, its clean-up and the paper's area in it.
class CCaptureSettingsDlg : public CDialog {
    Q_OBJECT
  public:
    CCaptureSettingsDlg(const std::vector<CameraDevice>& cameras, QWidget* parent = nullptr);

    CaptureSettings m_settings;
    QComboBox* Camera() const { return m_camera; }
    QComboBox* Size() const { return m_size; }
    QComboBox* Rate() const { return m_rate; }

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

  private:
    void FillModes();
    void FillRates();

    std::vector<CameraDevice> m_cameras;
    std::vector<CameraMode> m_modes;
    QComboBox* m_camera;
    QComboBox* m_size;
    QComboBox* m_rate;
    int m_nRotate = 0;
    int m_bMirror = 0;
    int m_bLevels = 1;
    int m_bDropColour = 0;
    int m_crop[4] = {};
};

// Runs the dialog over parent on settings; true when OK changed them.
bool RunCaptureSettingsDlg(CaptureSettings& settings, const std::vector<CameraDevice>& cameras,
                           QWidget* parent);
