#pragma once

#include <QImage>
#include <QSize>
#include <QStringList>
#include <functional>
#include <vector>

#include "framework/Dialog.h"
#include "intake/ImageImport.h"

class CFrameWnd;
class CLumvaneDoc;
class CompactImage;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// Control ids of "Import Drawings" and its progress window.
enum : int {
    IDC_IMPORT_BEFORE = 1060,
    IDC_IMPORT_AFTER = 1061,
    IDC_IMPORT_FIT_INSIDE = 1062,
    IDC_IMPORT_FIT_COVER = 1063,
    IDC_IMPORT_FIT_NONE = 1064,
    IDC_IMPORT_LEVELS = 1065,
    IDC_IMPORT_DROP_COLOUR = 1066,
    IDC_IMPORT_PEGS = 1067,
    IDC_IMPORT_BY_NUMBER = 1068,
    IDC_IMPORT_AFTER_CURRENT = 1069,
    IDC_IMPORT_NEW_ANIMATION = 1070,
    IDC_IMPORT_SUMMARY = 1071,
    IDC_IMPORT_FOLDER = 1072,
    IDC_IMPORT_STATUS = 1073,
    IDC_IMPORT_PROGRESS = 1074
};

// "Import Drawings": the first drawing before and after clean-up, the clean-up options and
// where the frames go.
class CImportDrawingsDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CImportDrawingsDlg(QWidget* parent = nullptr);

    QStringList m_files;  // the images, folders already opened
    int m_nFit = 0;       // FitMode: 0 inside, 1 cover, 2 none
    int m_bLevels = 1;
    int m_bDropColour = 0;
    int m_bPegs = 0;
    int m_bByNumber = 0;
    int m_nWhere = 0;       // 0 after the current frame, 1 a new animation
    QSize m_animationSize;  // of the open animation
    int m_nFrameCount = 1;  // of the open animation

    // What the accepted dialog asks for, and the frames it plans.
    ImportOptions Options() const;
    QSize FrameSize() const;
    const FramePlan& Plan() const { return m_plan; }

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    // Replaces the images with those of a folder the user picks.
    void OnChooseFolder();
    // Shows the first drawing as the options in the controls clean it.
    void UpdatePreview();

  private:
    bool PlanFromControls(QString& error);
    bool m_bReady = false;  // set up: option changes redraw the preview
    QLabel* m_pBefore;
    QLabel* m_pAfter;
    QLabel* m_pSummary;
    FramePlan m_plan;
    QString m_strPreviewFile;
    QImage m_original;
};

// "Progress..." of the import, with Cancel; it blocks the rest of the program while shown.
class CImportProgressDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CImportProgressDlg(QWidget* parent = nullptr);
    void SetProgress(const QString& status, int position);
    bool m_bCancelled = false;
    void OnOK() override {}
    void OnCancel() override;

  private:
    QLabel* m_pStatus;
    QProgressBar* m_pBar;
    QPushButton* m_pCancel;
};

// Where imported frames enter the document: its one door for frame changes.
struct ImportDoors {
    // Frames of the animation's size after the current frame; 1, or 0 changing nothing.
    std::function<int(std::vector<CompactImage>&)> insertAfterCurrent;
    // A new animation of these frames; 1, or 0 changing nothing.
    std::function<int(std::vector<CompactImage>&)> replace;
};

// File > Import Drawings with paths (empty: ask for them first), over the main window (may be
// null): the dialog, the frames built aside with a progress window, then through the doors.
void OnImportDrawings(CLumvaneDoc& doc, CFrameWnd* frame, const QStringList& paths,
                      const ImportDoors& doors);

// Dropping images or a folder on the main window opens the import with them; a dropped .anm
// file goes to open instead.
void AcceptDroppedDrawings(CFrameWnd* frame, std::function<void(const QStringList&)> images,
                           std::function<void(const QString&)> animation);

// Adds File > Import Drawings (always enabled) to the document's command table and takes
// drawings dropped on the main window; the frames enter through the document's own door.
void RegisterImportCommands(CLumvaneDoc& doc, CFrameWnd* frame);
