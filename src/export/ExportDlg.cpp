#include "export/ExportDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/LumvaneDoc.h"
#include "export/ExportInputGuard.h"
#include "export/ExportSequence.h"
#include "export/TypingLimit.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"

CExportDlg::CExportDlg(QWidget* parent) : CDialog(QStringLiteral("Export Settings"), parent) {
    auto* exportButton = new QPushButton(QStringLiteral("Export"), this);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    exportButton->setDefault(true);
    cancelButton->setAutoDefault(false);

    auto* sequence = new QGroupBox(QStringLiteral("Sequence"), this);
    auto* nameLabel = new QLabel(QStringLiteral("Sequence Name :"), sequence);
    auto* name = new QLineEdit(sequence);
    auto* numberLabel = new QLabel(QStringLiteral("Start Frame No :"), sequence);
    auto* number = new QLineEdit(sequence);
    auto* select = new QPushButton(QStringLiteral("Select Output Path"), sequence);
    select->setAutoDefault(false);
    auto* path = new QLineEdit(sequence);
    path->setReadOnly(true);
    auto* sequenceLayout = new QGridLayout(sequence);
    sequenceLayout->addWidget(select, 0, 0, 1, 2);
    sequenceLayout->addWidget(path, 1, 0, 1, 2);
    sequenceLayout->addWidget(nameLabel, 2, 0);
    sequenceLayout->addWidget(name, 2, 1);
    sequenceLayout->addWidget(numberLabel, 3, 0);
    sequenceLayout->addWidget(number, 3, 1);
    nameLabel->setBuddy(name);
    numberLabel->setBuddy(number);

    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    auto* tessel = new QRadioButton(QStringLiteral("Tessel Drawing Sequence"), format);
    auto* gray = new QRadioButton(QStringLiteral("Grayscale Targa Sequence"), format);
    auto* color = new QRadioButton(QStringLiteral("Truecolor Targa Sequence"), format);
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->addWidget(tessel);
    formatLayout->addWidget(gray);
    formatLayout->addWidget(color);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sequence);
    layout->addWidget(format);
    layout->addLayout(buttons);

    // The order in which Tab moves through the controls.
    QWidget* order[] = {exportButton, cancelButton, name, number, tessel,
                        gray,         select,       path, color};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    m_pNameLimit = new CTypingLimit(kMaxSequenceName, name);
    name->setValidator(m_pNameLimit);

    RegisterButton(IDOK, exportButton);
    RegisterButton(IDCANCEL, cancelButton);
    RegisterControl(IDC_SEQUENCE_NAME, name);
    RegisterControl(IDC_START_NUMBER, number);
    RegisterControl(IDC_FORMAT_TESSEL, tessel);
    RegisterControl(IDC_FORMAT_GRAY, gray);
    RegisterButton(IDC_SELECT_OUTPUT_PATH, select);
    RegisterControl(IDC_OUTPUT_PATH, path);
    RegisterControl(IDC_FORMAT_COLOR, color);
    RegisterRadioGroup(IDC_FORMAT_TESSEL, {IDC_FORMAT_TESSEL, IDC_FORMAT_GRAY, IDC_FORMAT_COLOR});
    OnCommand(IDC_SELECT_OUTPUT_PATH, [this] { OnSelectOutputPath(); });
}

void CExportDlg::DoDataExchange(CDataExchange* pDX) {
    m_pNameLimit->m_bProgramSets = !pDX->m_bSaveAndValidate;
    DDX_Text(pDX, IDC_SEQUENCE_NAME, m_strSequenceName);
    m_pNameLimit->m_bProgramSets = false;
    // The edit's own limit is the validator above: a plain length limit would cut a long
    // title short without a word.
    if (pDX->m_bSaveAndValidate) DDV_MaxChars(pDX, m_strSequenceName, kMaxSequenceName);
    DDX_Text(pDX, IDC_START_NUMBER, m_nStartNumber);
    DDV_MinMaxUInt(pDX, m_nStartNumber, 0, kMaxStartNumber);
    DDX_Radio(pDX, IDC_FORMAT_TESSEL, m_nFormat);
    DDX_Text(pDX, IDC_OUTPUT_PATH, m_strOutputPath);
}

void CExportDlg::OnOK() {
    if (!m_bPathChosen) {
        AfxMessageBox(ExportTextSelectPath());
        return;
    }
    if (!UpdateData(true)) return;
    if (!IsSequenceNameValid(m_strSequenceName)) {
        AfxMessageBox(ExportTextOnlyLetters());
        FocusControl(IDC_SEQUENCE_NAME);
        return;
    }
    EndDialog(IDOK);
}

void CExportDlg::OnSelectOutputPath() {
    const QString dir =
        AfxUi().DirectoryDialog(QStringLiteral("Select Output Directory"), m_strOutputPath);
    if (dir.isEmpty()) return;
    m_bPathChosen = 1;
    m_strOutputPath = WithTrailingSeparator(dir);
    // Text typed since the last exchange gives way to the stored values: choosing a folder
    // shows the fields as they were last accepted.
    UpdateData(false);
}

CProgressDlg::CProgressDlg(QWidget* parent) : CDialog(QStringLiteral("Progress..."), parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    m_pStatus = new QLineEdit(this);
    m_pStatus->setReadOnly(true);
    m_pStatus->setFocusPolicy(Qt::NoFocus);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_progress);
    setMinimumWidth(300);
    RegisterControl(IDC_EXPORT_STATUS, m_pStatus);
    RegisterControl(IDC_EXPORT_PROGRESS, m_progress);
}

bool CProgressDlg::Create() {
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    show();
    return true;
}

void CProgressDlg::SetProgress(const QString& status, int position) {
    m_strStatus = status;
    m_pStatus->setText(m_strStatus);
    m_progress->setValue(position);
    QCoreApplication::processEvents();
}

void CProgressDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
}

void OnExport(CLumvaneDoc& doc, CFrameWnd* frame) {
    CExportDlg dlg(frame);
    dlg.m_strSequenceName = doc.GetTitle().isEmpty() ? CDocument::DefaultTitle() : doc.GetTitle();
    if (dlg.DoModal() != IDOK) return;
    const ExportSettings settings{dlg.m_strOutputPath, dlg.m_strSequenceName, dlg.m_nStartNumber,
                                  dlg.m_nFormat};
    CExportInputGuard guard(frame);
    CProgressDlg progress(frame);
    progress.Create();
    ExportFrames(doc, settings, [&progress](int i, int count) {
        progress.SetProgress(ExportTextProgress(i + 1, count), 100 * i / count);
    });
    progress.hide();
}

void RegisterExportCommands(CLumvaneDoc& doc, CFrameWnd* frame) {
    doc.OnCommand(ID_FILE_EXPORT, [&doc, f = QPointer<CFrameWnd>(frame)] { OnExport(doc, f); });
    doc.OnUpdateCommand(ID_FILE_EXPORT, [](CCmdUI* ui) { ui->Enable(true); });
}
