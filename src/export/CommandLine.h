#pragma once

#include <QString>
#include <QStringList>

#include "framework/Ui.h"

// What the arguments ask for. Mode None: not a command-line mode, the window starts.
struct CommandLineOptions {
    enum Mode { None, Help, Info, Export, Version };
    Mode mode = None;
    int format = 0;        // ExportFormat
    QString outDir;        // as given
    QString sequenceName;  // given, or the file's base name
    unsigned startNumber = 1;
    QString file;
};

struct CommandLineParse {
    bool ok = true;
    CommandLineOptions options;
    QString error;  // one or more lines, without the program name
};

// Reads the window-less modes (--help, --info, --export) from the arguments (without the
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
