#include "intake/CaptureSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "framework/Ui.h"

CCaptureSettingsDlg::CCaptureSettingsDlg(const std::vector<CameraDevice>& cameras, QWidget* parent)
    : CDialog(QStringLiteral("Capture Settings"), parent), m_cameras(cameras) {
    m_camera = new QComboBox(this);
    for (const CameraDevice& c : m_cameras)
        m_camera->addItem(QStringLiteral("%1 (%2)").arg(c.name, c.path), c.path);
    if (m_cameras.empty()) m_camera->addItem(QStringLiteral("No camera was found"));
    m_camera->setEnabled(!m_cameras.empty());
    auto* source = new QLineEdit(this);
    m_size = new QComboBox(this);
    m_rate = new QComboBox(this);
    const char* turns[4] = {"0\u00b0", "90\u00b0", "180\u00b0", "270\u00b0"};
    QRadioButton* rotate[4];
    auto* turnRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        rotate[i] = new QRadioButton(QString::fromUtf8(turns[i]), this);
        turnRow->addWidget(rotate[i]);
    }
    auto* mirror = new QCheckBox(QStringLiteral("Mirror"), this);
    turnRow->addWidget(mirror);
    auto* levels = new QCheckBox(QStringLiteral("Even out the paper (levels)"), this);
    auto* drop = new QCheckBox(QStringLiteral("Drop coloured pencil"), this);
    QLineEdit* crop[4];
    auto* cropRow = new QHBoxLayout;
    const char* cropNames[4] = {"Left:", "Top:", "Width:", "Height:"};
    for (int i = 0; i < 4; ++i) {
        crop[i] = new QLineEdit(this);
        crop[i]->setMaximumWidth(60);
        cropRow->addWidget(new QLabel(QString::fromLatin1(cropNames[i]), this));
        cropRow->addWidget(crop[i]);
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Camera:"), m_camera);
    form->addRow(QStringLiteral("Size:"), m_size);
    form->addRow(QStringLiteral("Rate:"), m_rate);
    form->addRow(QStringLiteral("Video file instead:"), source);
    form->addRow(QStringLiteral("Turn:"), turnRow);
    form->addRow(QString(), levels);
    form->addRow(QString(), drop);
    form->addRow(QStringLiteral("Paper area (0 width: all):"), cropRow);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    RegisterControl(IDC_CAPTURE_CAMERA, m_camera);
    RegisterControl(IDC_CAPTURE_SOURCE, source);
    RegisterControl(IDC_CAPTURE_SIZE, m_size);
    RegisterControl(IDC_CAPTURE_RATE, m_rate);
    for (int i = 0; i < 4; ++i) RegisterButton(IDC_CAPTURE_ROTATE0 + i, rotate[i]);
    RegisterRadioGroup(IDC_CAPTURE_ROTATE0, {IDC_CAPTURE_ROTATE0, IDC_CAPTURE_ROTATE90,
                                             IDC_CAPTURE_ROTATE180, IDC_CAPTURE_ROTATE270});
    RegisterButton(IDC_CAPTURE_MIRROR, mirror);
    RegisterButton(IDC_CAPTURE_LEVELS, levels);
    RegisterButton(IDC_CAPTURE_DROPCOLOUR, drop);
    for (int i = 0; i < 4; ++i) RegisterControl(IDC_CAPTURE_CROPLEFT + i, crop[i]);
    RegisterButton(IDOK, ok);
    RegisterButton(IDCANCEL, cancel);
    connect(m_camera, &QComboBox::currentIndexChanged, this, [this] { FillModes(); });
    connect(m_size, &QComboBox::currentIndexChanged, this, [this] { FillRates(); });
}

void CCaptureSettingsDlg::FillModes() {
    const QString path = m_camera->currentData().toString();
    m_modes = path.isEmpty() ? std::vector<CameraMode>() : CameraModes(path);
    m_size->clear();
    m_size->addItem(QStringLiteral("The camera's own"), QSize());
    for (const CameraMode& m : m_modes)
        m_size->addItem(QStringLiteral("%1 x %2").arg(m.size.width()).arg(m.size.height()), m.size);
    const int at = m_size->findData(m_settings.size);
    m_size->setCurrentIndex(at < 0 ? 0 : at);
    FillRates();
}

void CCaptureSettingsDlg::FillRates() {
    m_rate->clear();
    m_rate->addItem(QStringLiteral("The camera's own"), 0);
    const QSize size = m_size->currentData().toSize();
    for (const CameraMode& m : m_modes)
        if (m.size == size)
            for (int fps : m.fps)
                m_rate->addItem(QStringLiteral("%1 frames a second").arg(fps), fps);
    const int at = m_rate->findData(m_settings.fps);
    m_rate->setCurrentIndex(at < 0 ? 0 : at);
}

bool CCaptureSettingsDlg::OnInitDialog() {
    const int at = m_camera->findData(m_settings.device);
    m_camera->setCurrentIndex(at < 0 ? 0 : at);
    FillModes();
    m_nRotate = m_settings.rotate / 90;
    m_bMirror = m_settings.mirror;
    m_bLevels = m_settings.autoLevels;
    m_bDropColour = m_settings.dropColour;
    const QRect c = m_settings.crop;
    m_crop[0] = c.isEmpty() ? 0 : c.x();
    m_crop[1] = c.isEmpty() ? 0 : c.y();
    m_crop[2] = c.isEmpty() ? 0 : c.width();
    m_crop[3] = c.isEmpty() ? 0 : c.height();
    return CDialog::OnInitDialog();
}

void CCaptureSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    QString source = m_settings.source;
    DDX_Text(pDX, IDC_CAPTURE_SOURCE, source);
    DDX_Radio(pDX, IDC_CAPTURE_ROTATE0, m_nRotate);
    DDX_Check(pDX, IDC_CAPTURE_MIRROR, m_bMirror);
    DDX_Check(pDX, IDC_CAPTURE_LEVELS, m_bLevels);
    DDX_Check(pDX, IDC_CAPTURE_DROPCOLOUR, m_bDropColour);
    for (int i = 0; i < 4; ++i) {
        DDX_Text(pDX, IDC_CAPTURE_CROPLEFT + i, m_crop[i]);
        DDV_MinMaxInt(pDX, m_crop[i], 0, 30000);
    }
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed) return;
    m_settings.source = source.trimmed();
    if (!m_cameras.empty()) m_settings.device = m_camera->currentData().toString();
    m_settings.size = m_size->currentData().toSize();
    m_settings.fps = m_rate->currentData().toInt();
    m_settings.rotate = std::max(0, m_nRotate) * 90;
    m_settings.mirror = m_bMirror != 0;
    m_settings.autoLevels = m_bLevels != 0;
    m_settings.dropColour = m_bDropColour != 0;
    m_settings.crop = m_crop[2] > 0 && m_crop[3] > 0
                          ? QRect(m_crop[0], m_crop[1], m_crop[2], m_crop[3])
                          : QRect();
}

bool RunCaptureSettingsDlg(CaptureSettings& settings, const std::vector<CameraDevice>& cameras,
                           QWidget* parent) {
    CCaptureSettingsDlg dlg(cameras, parent);
    dlg.m_settings = settings;
    if (dlg.DoModal() != IDOK) return false;
    settings = dlg.m_settings;
    return true;
}
