#pragma once

#include <QString>

#include "export/ExportDlg.h"
#include "export/MovieExport.h"

class CFrameWnd;
class CLumvaneDoc;
class QLabel;
class QLineEdit;
class QPushButton;
class CTypingLimit;

// Control ids of the Export Movie dialog; its progress window adds Cancel (IDCANCEL) to those
// of "Progress...".
enum : int {
    IDC_MOVIE_MP4 = 1040,
    IDC_MOVIE_WEBM = 1041,
    IDC_MOVIE_GIF = 1042,
    IDC_MOVIE_PNG = 1043,
    IDC_MOVIE_FPS = 1044,
    IDC_MOVIE_SOUND = 1045,
    IDC_MOVIE_SELECT_OUTPUT = 1046,
    IDC_MOVIE_OUTPUT = 1047,
    IDC_MOVIE_SEQUENCE_NAME = 1048,
    IDC_MOVIE_START_NUMBER = 1049
};

// "Export Movie": format, frame rate, sound track and where the movie or the images go.
class CMovieExportDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CMovieExportDlg(QWidget* parent = nullptr);

    // The document's rate, sound track, title and folder as the starting values.
    void SetDocument(const CLumvaneDoc& doc);
    // What the accepted dialog asks for.
    MovieSettings Settings() const;

    int m_nFormat = 0;  // MovieFormat
    int m_nFps = 25;
    int m_bIncludeSound = 0;
    bool m_bSoundAvailable = false;
    QString m_strMovieFile;    // chosen in the save dialog; empty until then
    QString m_strImageFolder;  // chosen for PNG images, ending in '/'; empty until then
    QString m_strSequenceName;
    unsigned m_nStartNumber = 1;
    // Where the choosers start: the animation's title and folder.
    QString m_strDefaultName;
    QString m_strDefaultFolder;
    // What the export reads, which it must never write: the animation's file and the sound
    // track's, and the number of frames (of PNG names).
    QString m_strAnimationFile;
    QString m_strSoundFile;
    int m_nFrameCount = 0;

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnSelectOutput();

  private:
    MovieFormat CheckedFormat() const;
    // Shows what belongs to the format: its output, which fields apply, the sound box.
    void ShowFormat(MovieFormat format);
    QString DefaultMovieFile(MovieFormat format) const;
    // The text refusing an output that is one of the export's inputs, or an empty string.
    QString OutputThatIsAnInput(MovieFormat format) const;

    MovieFormat m_shown = MovieFormat::Mp4;
    MovieFormat m_movieShown = MovieFormat::Mp4;  // the ending m_strMovieFile has
    bool m_bShowing = false;
    QLineEdit* m_pFps;
    QLabel* m_pFpsLabel;
    QLabel* m_pFpsUnit;
    QLabel* m_pNameLabel;
    QLabel* m_pNumberLabel;
    CTypingLimit* m_pNameLimit;
};

// "Progress..." with a Cancel button (Escape too); it still has no close box.
class CMovieProgressDlg : public CProgressDlg {
    Q_OBJECT
  public:
    explicit CMovieProgressDlg(QWidget* parent = nullptr);

    bool m_bCancelled = false;
    void OnCancel() override;

  private:
    QPushButton* m_pCancel;
};

// File > Export Movie: the dialog over the main window (may be null), then the movie written
// with a progress window while that window takes no input. The document is only read.
void OnExportMovie(const CLumvaneDoc& doc, CFrameWnd* frame);
// Adds Export Movie, enabled whenever Export is, to the document's command table.
void RegisterMovieExportCommands(CLumvaneDoc& doc, CFrameWnd* frame);
