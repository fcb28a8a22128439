#include "export/MovieExportDlg.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "document/LumvaneDoc.h"
#include "export/ExportInputGuard.h"
#include "export/ExportSequence.h"
#include "export/TypingLimit.h"
#include "framework/FrameWnd.h"
#include "framework/RegularFile.h"
#include "framework/Ui.h"

namespace {
const int kFormatIds[] = {IDC_MOVIE_MP4, IDC_MOVIE_WEBM, IDC_MOVIE_GIF, IDC_MOVIE_PNG};

bool HasSound(MovieFormat f) {
    return f == MovieFormat::Mp4 || f == MovieFormat::WebM;
}

QString FileFilter(MovieFormat f) {
    switch (f) {
        case MovieFormat::Mp4:
            return QStringLiteral("MP4 video (*.mp4)");
        case MovieFormat::WebM:
            return QStringLiteral("WebM video (*.webm)");
        default:
            return QStringLiteral("Animated GIF (*.gif)");
    }
}

// walk.mp4 becomes walk.webm; a name the save dialog took with another ending keeps it and
// gets the new one added.
QString WithExtension(const QString& file, MovieFormat from, MovieFormat to) {
    const QString old = QLatin1Char('.') + MovieExtension(from);
    QString base = file;
    if (base.endsWith(old, Qt::CaseInsensitive)) base.chop(old.size());
    return base + QLatin1Char('.') + MovieExtension(to);
}
}  // namespace

CMovieExportDlg::CMovieExportDlg(QWidget* parent)
    : CDialog(QStringLiteral("Export Movie"), parent) {
    auto* exportButton = new QPushButton(QStringLiteral("Export"), this);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    exportButton->setDefault(true);
    cancelButton->setAutoDefault(false);

    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    auto* formatLayout = new QVBoxLayout(format);
    const char* formatTexts[] = {"MP4 video (H.264)", "WebM video (VP9)", "Animated GIF",
                                 "PNG images"};
    QRadioButton* radios[4];
    for (int i = 0; i < 4; ++i) {
        radios[i] = new QRadioButton(QString::fromLatin1(formatTexts[i]), format);
        formatLayout->addWidget(radios[i]);
    }

    m_pFpsLabel = new QLabel(QStringLiteral("Frame rate :"), this);
    m_pFps = new QLineEdit(this);
    m_pFps->setMaximumWidth(60);
    m_pFpsLabel->setBuddy(m_pFps);
    m_pFpsUnit = new QLabel(QStringLiteral("frames per second"), this);
    auto* fpsLayout = new QHBoxLayout;
    fpsLayout->addWidget(m_pFpsLabel);
    fpsLayout->addWidget(m_pFps);
    fpsLayout->addWidget(m_pFpsUnit);
    fpsLayout->addStretch(1);
    auto* sound = new QCheckBox(QStringLiteral("Include the sound track"), this);

    auto* output = new QGroupBox(QStringLiteral("Output"), this);
    auto* select = new QPushButton(QStringLiteral("Select Output Path"), output);
    select->setAutoDefault(false);
    auto* path = new QLineEdit(output);
    path->setReadOnly(true);
    path->setMinimumWidth(320);
    m_pNameLabel = new QLabel(QStringLiteral("Sequence Name :"), output);
    auto* name = new QLineEdit(output);
    m_pNumberLabel = new QLabel(QStringLiteral("Start Frame No :"), output);
    auto* number = new QLineEdit(output);
    m_pNameLabel->setBuddy(name);
    m_pNumberLabel->setBuddy(number);
    auto* outputLayout = new QGridLayout(output);
    outputLayout->addWidget(select, 0, 0, 1, 2);
    outputLayout->addWidget(path, 1, 0, 1, 2);
    outputLayout->addWidget(m_pNameLabel, 2, 0);
    outputLayout->addWidget(name, 2, 1);
    outputLayout->addWidget(m_pNumberLabel, 3, 0);
    outputLayout->addWidget(number, 3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(format);
    layout->addLayout(fpsLayout);
    layout->addWidget(sound);
    layout->addWidget(output);
    layout->addLayout(buttons);

    QWidget* order[] = {radios[0], radios[1], radios[2], radios[3], m_pFps,       sound,
                        select,    path,      name,      number,    exportButton, cancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    m_pNameLimit = new CTypingLimit(kMaxSequenceName, name);
    name->setValidator(m_pNameLimit);

    RegisterButton(IDOK, exportButton);
    RegisterButton(IDCANCEL, cancelButton);
    for (int i = 0; i < 4; ++i) {
        RegisterControl(kFormatIds[i], radios[i]);
        // Also when the program or a script checks it: the dialog always shows what fits.
        connect(radios[i], &QRadioButton::toggled, this, [this](bool on) {
            if (on) ShowFormat(CheckedFormat());
        });
    }
    RegisterRadioGroup(IDC_MOVIE_MP4, {std::begin(kFormatIds), std::end(kFormatIds)});
    RegisterControl(IDC_MOVIE_FPS, m_pFps);
    RegisterControl(IDC_MOVIE_SOUND, sound);
    RegisterButton(IDC_MOVIE_SELECT_OUTPUT, select);
    RegisterControl(IDC_MOVIE_OUTPUT, path);
    RegisterControl(IDC_MOVIE_SEQUENCE_NAME, name);
    RegisterControl(IDC_MOVIE_START_NUMBER, number);
    OnCommand(IDC_MOVIE_SELECT_OUTPUT, [this] { OnSelectOutput(); });
    // The box keeps the user's choice while a format without sound greys it out.
    connect(sound, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_bShowing) m_bIncludeSound = on;
    });
}

void CMovieExportDlg::SetDocument(const CLumvaneDoc& doc) {
    m_nFps = doc.m_nFps;
    m_bSoundAvailable = doc.m_bSoundLoaded != 0;
    m_bIncludeSound = m_bSoundAvailable ? 1 : 0;
    m_strDefaultName = doc.GetTitle().isEmpty() ? CDocument::DefaultTitle() : doc.GetTitle();
    m_strSequenceName = m_strDefaultName;
    m_strDefaultFolder = doc.GetPathName().isEmpty() ? QDir::homePath()
                                                     : QFileInfo(doc.GetPathName()).absolutePath();
    m_strAnimationFile = doc.GetPathName();
    m_strSoundFile = doc.m_bSoundLoaded ? doc.m_szSoundPath : QString();
    m_nFrameCount = std::min(doc.m_nFrameCount, CLumvaneDoc::kMaxFrames);
}

QString CMovieExportDlg::OutputThatIsAnInput(MovieFormat format) const {
    if (format != MovieFormat::Png) {
        if (IsSameFile(m_strMovieFile, m_strAnimationFile))
            return ExportTextIsAnimation(m_strMovieFile, m_strAnimationFile);
        if (IsSameFile(m_strMovieFile, m_strSoundFile))
            return ExportTextIsSoundTrack(m_strMovieFile, m_strSoundFile);
        return QString();
    }
    const auto nameOf = [this](unsigned n) {
        return MovieImageFileName(m_strImageFolder, m_strSequenceName, n);
    };
    QString name = NumberedNameThatIs(nameOf, m_nStartNumber, m_nFrameCount, m_strAnimationFile);
    if (!name.isEmpty()) return ExportTextIsAnimation(name, m_strAnimationFile);
    name = NumberedNameThatIs(nameOf, m_nStartNumber, m_nFrameCount, m_strSoundFile);
    if (!name.isEmpty()) return ExportTextIsSoundTrack(name, m_strSoundFile);
    return QString();
}

MovieSettings CMovieExportDlg::Settings() const {
    MovieSettings s;
    s.format = static_cast<MovieFormat>(m_nFormat);
    const bool images = s.format == MovieFormat::Png;
    // Images have no rate; the encoder still wants a valid one.
    s.fps = images ? std::clamp(m_nFps, kMinMovieFps, kMaxMovieFps) : m_nFps;
    s.outputPath = images ? m_strImageFolder : m_strMovieFile;
    s.sequenceName = m_strSequenceName;
    s.startNumber = m_nStartNumber;
    s.includeSound = m_bSoundAvailable && m_bIncludeSound && HasSound(s.format);
    return s;
}

bool CMovieExportDlg::OnInitDialog() {
    m_shown = static_cast<MovieFormat>(std::clamp(m_nFormat, 0, 3));
    if (m_shown != MovieFormat::Png) m_movieShown = m_shown;
    CDialog::OnInitDialog();
    ShowFormat(m_shown);
    return true;
}

MovieFormat CMovieExportDlg::CheckedFormat() const {
    for (int i = 0; i < 4; ++i)
        if (IsChecked(kFormatIds[i])) return static_cast<MovieFormat>(i);
    return m_shown;
}

QString CMovieExportDlg::DefaultMovieFile(MovieFormat format) const {
    return QDir(m_strDefaultFolder)
        .filePath(m_strDefaultName + QLatin1Char('.') + MovieExtension(format));
}

void CMovieExportDlg::ShowFormat(MovieFormat format) {
    const bool images = format == MovieFormat::Png;
    if (!images && format != m_movieShown && !m_strMovieFile.isEmpty())
        m_strMovieFile = WithExtension(m_strMovieFile, m_movieShown, format);
    if (!images) m_movieShown = format;
    m_shown = format;

    SetItemText(IDC_MOVIE_OUTPUT, images ? m_strImageFolder : m_strMovieFile);
    for (QWidget* w : {static_cast<QWidget*>(m_pFps), static_cast<QWidget*>(m_pFpsLabel),
                       static_cast<QWidget*>(m_pFpsUnit)})
        w->setEnabled(!images);
    for (QWidget* w : {GetDlgItem(IDC_MOVIE_SEQUENCE_NAME), GetDlgItem(IDC_MOVIE_START_NUMBER),
                       static_cast<QWidget*>(m_pNameLabel), static_cast<QWidget*>(m_pNumberLabel)})
        w->setEnabled(images);
    const bool sound = m_bSoundAvailable && HasSound(format);
    GetDlgItem(IDC_MOVIE_SOUND)->setEnabled(sound);
    m_bShowing = true;
    SetCheck(IDC_MOVIE_SOUND, sound && m_bIncludeSound);
    m_bShowing = false;
}

void CMovieExportDlg::DoDataExchange(CDataExchange* pDX) {
    const bool save = pDX->m_bSaveAndValidate;
    DDX_Radio(pDX, IDC_MOVIE_MP4, m_nFormat);
    const MovieFormat format = static_cast<MovieFormat>(m_nFormat);
    // Fields that do not apply to the format are neither read nor checked.
    if (!save || format != MovieFormat::Png) {
        DDX_Text(pDX, IDC_MOVIE_FPS, m_nFps);
        DDV_MinMaxInt(pDX, m_nFps, kMinMovieFps, kMaxMovieFps);
    }
    // The box, the output and what applies are shown by ShowFormat.
    if (save && m_bSoundAvailable && HasSound(format))
        DDX_Check(pDX, IDC_MOVIE_SOUND, m_bIncludeSound);
    if (!save || format == MovieFormat::Png) {
        m_pNameLimit->m_bProgramSets = !save;
        DDX_Text(pDX, IDC_MOVIE_SEQUENCE_NAME, m_strSequenceName);
        m_pNameLimit->m_bProgramSets = false;
        if (save) DDV_MaxChars(pDX, m_strSequenceName, kMaxSequenceName);
        DDX_Text(pDX, IDC_MOVIE_START_NUMBER, m_nStartNumber);
        DDV_MinMaxUInt(pDX, m_nStartNumber, 0, kMaxStartNumber);
    }
}

void CMovieExportDlg::OnOK() {
    const MovieFormat format = CheckedFormat();
    const bool images = format == MovieFormat::Png;
    if ((images ? m_strImageFolder : m_strMovieFile).isEmpty()) {
        AfxMessageBox(ExportTextSelectPath());
        return;
    }
    if (!UpdateData(true)) return;
    if (images && !IsSequenceNameValid(m_strSequenceName)) {
        AfxMessageBox(ExportTextOnlyLetters());
        FocusControl(IDC_MOVIE_SEQUENCE_NAME);
        return;
    }
    const QString clash = OutputThatIsAnInput(format);
    if (!clash.isEmpty()) {
        AfxMessageBox(clash);
        return;
    }
    EndDialog(IDOK);
}

void CMovieExportDlg::OnSelectOutput() {
    const MovieFormat format = CheckedFormat();
    if (format == MovieFormat::Png) {
        const QString dir = AfxUi().DirectoryDialog(
            QStringLiteral("Select Output Directory"),
            m_strImageFolder.isEmpty() ? m_strDefaultFolder : m_strImageFolder);
        if (dir.isEmpty()) return;
        m_strImageFolder = WithTrailingSeparator(dir);
        SetItemText(IDC_MOVIE_OUTPUT, m_strImageFolder);
        return;
    }
    FileDialogRequest request;
    request.open = false;
    request.title = QStringLiteral("Select Output File");
    request.filter = FileFilter(format);
    request.defaultExt = QLatin1Char('.') + MovieExtension(format);
    request.initialPath = m_strMovieFile.isEmpty() ? DefaultMovieFile(format) : m_strMovieFile;
    request.mustExist = false;
    QString file = AfxUi().FileDialog(request);
    if (file.isEmpty()) return;
    if (QFileInfo(file).suffix().isEmpty()) file += request.defaultExt;
    m_strMovieFile = file;
    SetItemText(IDC_MOVIE_OUTPUT, m_strMovieFile);
}

CMovieProgressDlg::CMovieProgressDlg(QWidget* parent) : CProgressDlg(parent) {
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setAutoDefault(false);
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->addWidget(m_pCancel, 0, Qt::AlignRight);
    RegisterButton(IDCANCEL, m_pCancel);
}

void CMovieProgressDlg::OnCancel() {
    // The export stops before its next frame; a second press has nothing more to do.
    m_bCancelled = true;
    m_pCancel->setEnabled(false);
}

void OnExportMovie(const CLumvaneDoc& doc, CFrameWnd* frame) {
    CMovieExportDlg dlg(frame);
    dlg.SetDocument(doc);
    if (dlg.DoModal() != IDOK) return;
    const MovieSettings settings = dlg.Settings();
    CExportInputGuard guard(frame);
    CMovieProgressDlg progress(frame);
    progress.Create();
    QString error;
    const int result = ExportMovie(
        doc, settings,
        [&progress](int i, int count) {
            progress.SetProgress(ExportTextProgress(i + 1, count), 100 * i / count);
            return !progress.m_bCancelled;
        },
        &error);
    progress.hide();
    if (result == MOVIE_DONE) return;
    if (result == MOVIE_CANCELLED) {
        AfxMessageBox(error, MB_OK | MB_ICONINFORMATION);
        return;
    }
    ReportMovieFailure(error);
}

void RegisterMovieExportCommands(CLumvaneDoc& doc, CFrameWnd* frame) {
    doc.OnCommand(ID_FILE_EXPORTMOVIE,
                  [&doc, f = QPointer<CFrameWnd>(frame)] { OnExportMovie(doc, f); });
    // Enabled exactly when Export is.
    doc.OnUpdateCommand(ID_FILE_EXPORTMOVIE, [&doc](CCmdUI* ui) {
        CCmdUI exportUi(ID_FILE_EXPORT);
        doc.OnCmdMsg(ID_FILE_EXPORT, CmdPhase::Update, &exportUi);
        ui->Enable(exportUi.m_bEnabled);
    });
}
