#pragma once

#include <QString>
#include <QStringList>

#include "export/MovieExport.h"
#include "framework/Ui.h"

// What the arguments ask for. Mode None: not a command-line mode, the window starts.
struct CommandLineOptions {
    // Export: Tessel or Targa files. Movie: a movie, a GIF or PNG images.
    enum Mode { None, Help, Info, Export, Version, Movie };
    Mode mode = None;
    int format = 0;                              // ExportFormat
    MovieFormat movieFormat = MovieFormat::Mp4;  // in mode Movie
    QString outDir;                              // as given: the directory, or the movie file
    QString sequenceName;                        // given, or the file's base name
    unsigned startNumber = 1;
    int fps = 25;       // movies and GIFs
    QString soundFile;  // MP4 and WebM: a WAV file, or empty
    QString file;
};

struct CommandLineParse {
    bool ok = true;
    CommandLineOptions options;
    QString error;  // one or more lines, without the program name
};

// Reads the window-less modes (--help, --version, --info, --export) from the arguments (without the
// program name). Touches no file: the output directory and the animation are checked when
// the command runs.
CommandLineParse ParseBatchCommandLine(const QStringList& args);
QString CommandLineHelp();
// "lumvane" and the version, one line.
QString CommandLineVersion();

// Runs --help, --version, --info or --export without a display and returns the exit status (0
// success, 1 failure, 2 bad arguments), or -1 when the arguments ask for the window. Call it before
// any QApplication exists.
int RunCommandLine(int argc, char** argv);

// The UI service of the command line: message texts go to standard error, dialogs and
// questions are answered with Cancel (No for Yes/No).
class CConsoleUi : public CUiService {
  public:
    int MessageBox(const QString& text, const QString& caption, unsigned type) override;
    int DoModal(CDialog& dialog) override;
    QString FileDialog(const FileDialogRequest& request) override;
    QString DirectoryDialog(const QString& title, const QString& startDir) override;
};
