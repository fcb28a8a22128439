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
#include <QValidator>
#include <QWindow>

#include "document/LumvaneDoc.h"
#include "export/ExportSequence.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"

// Refuses typing that would take an edit's text past the limit, while a longer text put there
// by the program stays (the data exchange reports it), and the user may still shorten it.
class CTypingLimit : public QValidator {
  public:
    CTypingLimit(int limit, QLineEdit* edit) : QValidator(edit), m_nLimit(limit) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& t) { m_nLast = static_cast<int>(t.size()); });
    }
    State validate(QString& input, int&) const override {
        const int n = static_cast<int>(input.size());
        return m_bProgramSets || n <= m_nLimit || n <= m_nLast ? Acceptable : Invalid;
    }
    bool m_bProgramSets = false;

  private:
    int m_nLimit;
    int m_nLast = 0;
};

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

namespace {
// For the length of an export the main window takes no input and runs no command, so nothing
// can change the document under the loop; it still repaints. A close request is honoured
// afterwards.
class CExportInputGuard : public QObject {
  public:
    explicit CExportInputGuard(CFrameWnd* frame) : m_pFrame(frame) {
        if (!m_pFrame) return;
        m_bWasBlocked = m_pFrame->CommandsBlocked();
        m_pFrame->SetCommandsBlocked(true);
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~CExportInputGuard() override {
        if (!m_pFrame) return;
        QCoreApplication::instance()->removeEventFilter(this);
        m_pFrame->SetCommandsBlocked(m_bWasBlocked);
        if (!m_bWasBlocked && m_pFrame->CloseRequested()) {
            m_pFrame->ClearCloseRequest();
            m_pFrame->close();
        }
    }

  protected:
    bool eventFilter(QObject* target, QEvent* e) override {
        if (!IsInput(e->type()) || !BelongsToFrame(target)) return false;
        // Claiming the key keeps shortcuts from firing; the key itself is then dropped.
        if (e->type() == QEvent::ShortcutOverride) e->accept();
        return true;
    }

  private:
    static bool IsInput(QEvent::Type t) {
        switch (t) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::TabletPress:
            case QEvent::TabletMove:
            case QEvent::TabletRelease:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TouchCancel:
            case QEvent::ContextMenu:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::InputMethod:
            case QEvent::NativeGesture:
                return true;
            default:
                return false;
        }
    }
    bool BelongsToFrame(QObject* target) const {
        if (target->isWidgetType()) return static_cast<QWidget*>(target)->window() == m_pFrame;
        if (auto* w = qobject_cast<QWindow*>(target)) return w == m_pFrame->windowHandle();
        return false;
    }

    CFrameWnd* m_pFrame;
    bool m_bWasBlocked = false;
};
}  // namespace

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
