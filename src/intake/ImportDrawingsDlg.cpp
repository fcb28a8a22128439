#include "intake/ImportDrawingsDlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "framework/WinApp.h"
#include "raster/GrayImage.h"

namespace {
const int kFitIds[] = {IDC_IMPORT_FIT_INSIDE, IDC_IMPORT_FIT_COVER, IDC_IMPORT_FIT_NONE};
const int kWhereIds[] = {IDC_IMPORT_AFTER_CURRENT, IDC_IMPORT_NEW_ANIMATION};
const QSize kPreview(320, 240);

QImage ImageOf(const GrayImage& frame) {
    const int w = frame.GetWidth(), h = frame.GetHeight();
    QImage image(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)  // frames keep their bottom row first
        std::memcpy(image.scanLine(y), frame.GetData() + static_cast<std::size_t>(h - 1 - y) * w,
                    static_cast<std::size_t>(w));
    return image;
}

QPixmap PreviewPixmap(const QImage& image) {
    return QPixmap::fromImage(
        image.scaled(kPreview, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

}  // namespace

CImportDrawingsDlg::CImportDrawingsDlg(QWidget* parent)
    : CDialog(QStringLiteral("Import Drawings"), parent) {
    auto* importButton = new QPushButton(QStringLiteral("Import"), this);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    importButton->setDefault(true);
    cancelButton->setAutoDefault(false);

    auto* preview = new QGroupBox(QStringLiteral("First drawing"), this);
    m_pBefore = new QLabel(preview);
    m_pAfter = new QLabel(preview);
    for (QLabel* l : {m_pBefore, m_pAfter}) {
        l->setFixedSize(kPreview);
        l->setAlignment(Qt::AlignCenter);
        l->setFrameShape(QFrame::Box);
    }
    auto* previewLayout = new QGridLayout(preview);
    previewLayout->addWidget(new QLabel(QStringLiteral("As scanned"), preview), 0, 0);
    previewLayout->addWidget(new QLabel(QStringLiteral("Cleaned up"), preview), 0, 1);
    previewLayout->addWidget(m_pBefore, 1, 0);
    previewLayout->addWidget(m_pAfter, 1, 1);

    auto* cleanup = new QGroupBox(QStringLiteral("Clean-up"), this);
    auto* levels = new QCheckBox(QStringLiteral("Paper to white, lines to black"), cleanup);
    auto* drop = new QCheckBox(QStringLiteral("Drop blue and red construction lines"), cleanup);
    auto* pegs = new QCheckBox(QStringLiteral("Register by the peg holes"), cleanup);
    auto* cleanupLayout = new QVBoxLayout(cleanup);
    for (QWidget* w :
         {static_cast<QWidget*>(levels), static_cast<QWidget*>(drop), static_cast<QWidget*>(pegs)})
        cleanupLayout->addWidget(w);

    auto* fit = new QGroupBox(QStringLiteral("Fit to the frame"), this);
    const char* fitTexts[] = {"Whole drawing, white around", "Fill the frame, crop the overflow",
                              "Actual size, centred"};
    QRadioButton* fitRadios[3];
    auto* fitLayout = new QVBoxLayout(fit);
    for (int i = 0; i < 3; ++i) {
        fitRadios[i] = new QRadioButton(QString::fromLatin1(fitTexts[i]), fit);
        fitLayout->addWidget(fitRadios[i]);
    }

    auto* order = new QGroupBox(QStringLiteral("Order"), this);
    auto* byNumber =
        new QCheckBox(QStringLiteral("By the number in each name (missing numbers hold)"), order);
    auto* folder = new QPushButton(QStringLiteral("Whole Folder..."), order);
    folder->setAutoDefault(false);
    m_pSummary = new QLabel(order);
    auto* orderLayout = new QVBoxLayout(order);
    orderLayout->addWidget(byNumber);
    orderLayout->addWidget(m_pSummary);
    orderLayout->addWidget(folder, 0, Qt::AlignLeft);

    auto* where = new QGroupBox(QStringLiteral("Frames go"), this);
    auto* after = new QRadioButton(QStringLiteral("After the current frame"), where);
    auto* fresh = new QRadioButton(QStringLiteral("Into a new animation"), where);
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(after);
    whereLayout->addWidget(fresh);

    auto* options = new QGridLayout;
    options->addWidget(cleanup, 0, 0);
    options->addWidget(fit, 0, 1);
    options->addWidget(order, 1, 0);
    options->addWidget(where, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(importButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(preview);
    layout->addLayout(options);
    layout->addLayout(buttons);

    RegisterButton(IDOK, importButton);
    RegisterButton(IDCANCEL, cancelButton);
    RegisterControl(IDC_IMPORT_BEFORE, m_pBefore);
    RegisterControl(IDC_IMPORT_AFTER, m_pAfter);
    for (int i = 0; i < 3; ++i) RegisterControl(kFitIds[i], fitRadios[i]);
    RegisterRadioGroup(IDC_IMPORT_FIT_INSIDE, {std::begin(kFitIds), std::end(kFitIds)});
    RegisterControl(IDC_IMPORT_LEVELS, levels);
    RegisterControl(IDC_IMPORT_DROP_COLOUR, drop);
    RegisterControl(IDC_IMPORT_PEGS, pegs);
    RegisterControl(IDC_IMPORT_BY_NUMBER, byNumber);
    RegisterControl(IDC_IMPORT_AFTER_CURRENT, after);
    RegisterControl(IDC_IMPORT_NEW_ANIMATION, fresh);
    RegisterRadioGroup(IDC_IMPORT_AFTER_CURRENT, {std::begin(kWhereIds), std::end(kWhereIds)});
    RegisterControl(IDC_IMPORT_SUMMARY, m_pSummary);
    RegisterButton(IDC_IMPORT_FOLDER, folder);
    OnCommand(IDC_IMPORT_FOLDER, [this] { OnChooseFolder(); });
    // The preview follows every option that changes what a frame shows.
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             levels, drop, fitRadios[0], fitRadios[1], fitRadios[2], after, fresh, byNumber})
        connect(b, &QAbstractButton::toggled, this, [this] {
            if (m_bReady) UpdatePreview();
        });
}

ImportOptions CImportDrawingsDlg::Options() const {
    ImportOptions o;
    o.fit = static_cast<FitMode>(m_nFit);
    o.autoLevels = m_bLevels != 0;
    o.dropColour = m_bDropColour != 0;
    o.registerPegs = m_bPegs != 0;
    o.byNumber = m_bByNumber != 0;
    o.size = FrameSize();
    return o;
}

QSize CImportDrawingsDlg::FrameSize() const {
    if (m_nWhere == 0 || m_plan.sizes.empty()) return m_animationSize;
    return DefaultFrameSize(m_plan.sizes[0]);
}

bool CImportDrawingsDlg::PlanFromControls(QString& error) {
    const bool byNumber = IsChecked(IDC_IMPORT_BY_NUMBER);
    const bool fresh = IsChecked(IDC_IMPORT_NEW_ANIMATION);
    const int room = fresh ? CLumvaneDoc::kMaxFrames : CLumvaneDoc::kMaxFrames - m_nFrameCount;
    return PlanFrames(m_files, byNumber, room, m_plan, error);
}

bool CImportDrawingsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_bReady = true;
    UpdatePreview();
    return true;
}

void CImportDrawingsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Radio(pDX, IDC_IMPORT_FIT_INSIDE, m_nFit);
    DDX_Check(pDX, IDC_IMPORT_LEVELS, m_bLevels);
    DDX_Check(pDX, IDC_IMPORT_DROP_COLOUR, m_bDropColour);
    DDX_Check(pDX, IDC_IMPORT_PEGS, m_bPegs);
    DDX_Check(pDX, IDC_IMPORT_BY_NUMBER, m_bByNumber);
    DDX_Radio(pDX, IDC_IMPORT_AFTER_CURRENT, m_nWhere);
}

void CImportDrawingsDlg::UpdatePreview() {
    QString error;
    if (!PlanFromControls(error)) {
        m_pSummary->setText(error);
        m_pBefore->clear();
        m_pAfter->clear();
        return;
    }
    const int frames = static_cast<int>(m_plan.source.size());
    const int images = static_cast<int>(m_plan.files.size());
    m_pSummary->setText(
        images == frames
            ? QStringLiteral("%1 drawings, %2 frames").arg(images).arg(frames)
            : QStringLiteral("%1 drawings, %2 frames with holds").arg(images).arg(frames));
    const QString first = m_plan.files.value(0);
    if (first != m_strPreviewFile) {
        QImageReader reader(first);
        reader.setAutoTransform(true);
        m_original = reader.read();
        m_strPreviewFile = first;
    }
    m_pBefore->setPixmap(PreviewPixmap(m_original));
    GrayPlane gray;
    if (!ReadDrawing(first, IsChecked(IDC_IMPORT_DROP_COLOUR), gray, error)) {
        m_pAfter->setText(error);
        return;
    }
    const QSize size =
        IsChecked(IDC_IMPORT_NEW_ANIMATION) ? DefaultFrameSize(m_plan.sizes[0]) : m_animationSize;
    ImportOptions options;
    options.autoLevels = IsChecked(IDC_IMPORT_LEVELS);
    for (int i = 0; i < 3; ++i)
        if (IsChecked(kFitIds[i])) options.fit = static_cast<FitMode>(i);
    GrayImage frame;
    if (!frame.Create(size.width(), size.height()) || !CleanIntoFrame(gray, options, frame)) {
        m_pAfter->clear();
        return;
    }
    m_pAfter->setPixmap(PreviewPixmap(ImageOf(frame)));
}

void CImportDrawingsDlg::OnChooseFolder() {
    const QString dir = AfxUi().DirectoryDialog(
        QStringLiteral("Import Drawings"),
        m_files.isEmpty() ? QString() : QFileInfo(m_files.first()).absolutePath());
    if (dir.isEmpty()) return;
    QStringList files;
    QString error;
    if (!CollectImageFiles({dir}, files, error)) {
        AfxMessageBox(error);
        return;
    }
    m_files = files;
    m_strPreviewFile.clear();
    UpdatePreview();
}

void CImportDrawingsDlg::OnOK() {
    if (!UpdateData(true)) return;
    QString error;
    if (!PlanFromControls(error)) {
        AfxMessageBox(error);
        return;
    }
    EndDialog(IDOK);
}

CImportProgressDlg::CImportProgressDlg(QWidget* parent)
    : CDialog(QStringLiteral("Progress..."), parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // Nothing else takes input while frames are built, so the animation cannot change under it.
    setWindowModality(Qt::ApplicationModal);
    m_pStatus = new QLabel(this);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 100);
    m_pBar->setTextVisible(false);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pCancel, 0, Qt::AlignRight);
    setMinimumWidth(320);
    RegisterControl(IDC_IMPORT_STATUS, m_pStatus);
    RegisterControl(IDC_IMPORT_PROGRESS, m_pBar);
    RegisterButton(IDCANCEL, m_pCancel);
}

void CImportProgressDlg::SetProgress(const QString& status, int position) {
    m_pStatus->setText(status);
    m_pBar->setValue(position);
    QCoreApplication::processEvents();
}

void CImportProgressDlg::OnCancel() {
    m_bCancelled = true;
    m_pCancel->setEnabled(false);
}

namespace {
// Several images at once from the platform's dialog; a replaced UI service (tests, the
// command line) is asked for one file through its own file dialog.
QStringList ChooseImages(QWidget* parent) {
    const QString filter =
        QStringLiteral("Images (%1);;All files (*)").arg(ImageNameFilters().join(QLatin1Char(' ')));
    if (!dynamic_cast<CQtUiService*>(&AfxUi())) {
        FileDialogRequest request;
        request.title = QStringLiteral("Import Drawings");
        request.filter = filter;
        const QString file = AfxUi().FileDialog(request);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Import Drawings"), QString(),
                                         filter);
}
}  // namespace

void OnImportDrawings(CLumvaneDoc& doc, CFrameWnd* frame, const QStringList& paths,
                      const ImportDoors& doors) {
    const QStringList chosen = paths.isEmpty() ? ChooseImages(frame) : paths;
    if (chosen.isEmpty()) return;
    QStringList files;
    QString error;
    if (!CollectImageFiles(chosen, files, error)) {
        AfxMessageBox(error);
        return;
    }
    CImportDrawingsDlg dlg(frame);
    dlg.m_files = files;
    dlg.m_animationSize = QSize(doc.m_nWidth, doc.m_nHeight);
    dlg.m_nFrameCount = doc.m_nFrameCount;
    if (dlg.DoModal() != IDOK) return;
    const bool fresh = dlg.m_nWhere == 1;
    // As New does: the changes are saved or given up before the animation goes.
    if (fresh && !doc.SaveModified()) return;
    const FramePlan plan = dlg.Plan();
    const QSize size = dlg.FrameSize();
    const int count = static_cast<int>(plan.source.size());
    if (!ImportMemoryFits(count, size)) {
        AfxMessageBox(ImportTextNoMemory(count, size.width(), size.height()));
        return;
    }
    std::vector<CompactImage> frames;
    ImportOutcome outcome;
    {
        CImportProgressDlg progress(frame);
        progress.show();
        outcome = BuildFrames(plan, dlg.Options(), size, frames, [&progress](int done, int n) {
            progress.SetProgress(ImportTextProgress(std::min(done + 1, n), n), 100 * done / n);
            return !progress.m_bCancelled;
        });
        progress.hide();
    }
    if (outcome.result == IMPORT_CANCELLED) return;
    if (outcome.result == IMPORT_FAILED) {
        AfxMessageBox(outcome.error);
        return;
    }
    const auto& door = fresh ? doors.replace : doors.insertAfterCurrent;
    if (!door || !door(frames)) {
        AfxMessageBox(ImportTextNoMemory(count, size.width(), size.height()));
        return;
    }
    if (!outcome.unregistered.isEmpty())
        AfxMessageBox(ImportTextNoPegs(outcome.unregistered), MB_OK | MB_ICONINFORMATION);
}

namespace {
// Watches a main window for dropped files.
class CDropFilter : public QObject {
  public:
    CDropFilter(QObject* parent, std::function<void(const QStringList&)> images,
                std::function<void(const QString&)> animation)
        : QObject(parent), m_images(std::move(images)), m_animation(std::move(animation)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* e = static_cast<QDropEvent*>(event);
            if (!LocalPaths(e->mimeData()).isEmpty()) {
                e->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            const QStringList paths = LocalPaths(e->mimeData());
            if (paths.isEmpty()) return QObject::eventFilter(watched, event);
            e->acceptProposedAction();
            // The window stays free while the drop's source waits for an answer.
            const bool anm =
                paths.size() == 1 && QFileInfo(paths[0]).suffix().compare(QLatin1String("anm"),
                                                                          Qt::CaseInsensitive) == 0;
            QMetaObject::invokeMethod(
                this,
                [this, paths, anm] {
                    if (anm)
                        m_animation(paths[0]);
                    else
                        m_images(paths);
                },
                Qt::QueuedConnection);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static QStringList LocalPaths(const QMimeData* data) {
        QStringList paths;
        if (!data || !data->hasUrls()) return paths;
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) paths << url.toLocalFile();
        return paths;
    }
    std::function<void(const QStringList&)> m_images;
    std::function<void(const QString&)> m_animation;
};
}  // namespace

void AcceptDroppedDrawings(CFrameWnd* frame, std::function<void(const QStringList&)> images,
                           std::function<void(const QString&)> animation) {
    frame->setAcceptDrops(true);
    frame->installEventFilter(new CDropFilter(frame, std::move(images), std::move(animation)));
}

void RegisterImportCommands(CLumvaneDoc& doc, CFrameWnd* frame) {
    const QPointer<CFrameWnd> f(frame);
    const auto doors = [&doc] {
        ImportDoors d;
        d.insertAfterCurrent = [&doc](std::vector<CompactImage>& frames) {
            return doc.InsertFrames(doc.m_nCurrentFrame, frames);
        };
        d.replace = [&doc](std::vector<CompactImage>& frames) {
            return doc.ReplaceWithFrames(frames);
        };
        return d;
    };
    doc.OnCommand(ID_FILE_IMPORTDRAWINGS,
                  [&doc, f, doors] { OnImportDrawings(doc, f, QStringList(), doors()); });
    doc.OnUpdateCommand(ID_FILE_IMPORTDRAWINGS, [](CCmdUI* ui) { ui->Enable(true); });
    if (!frame) return;
    AcceptDroppedDrawings(
        frame,
        [&doc, f, doors](const QStringList& paths) { OnImportDrawings(doc, f, paths, doors()); },
        [](const QString& path) {
            if (CWinApp* app = AfxGetApp()) app->OpenDocumentFile(path);
        });
}
