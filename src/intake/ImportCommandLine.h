#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "intake/ImageImport.h"

class CompactImage;

struct ImportCommand {
    QString out;  // the .anm file to write
    QStringList images;
    ImportOptions options;
};

struct ImportCommandParse {
    bool import = false;  // the arguments ask for --import
    bool ok = true;
    ImportCommand command;
    QString error;  // one line, without the program name
};

// Reads `--import --out FILE.anm [--size WxH] [--fit inside|cover|none] [--levels auto|none]
// [--drop-color] [--register none|pegs] [--by-number] IMAGE...` from the arguments (without
// the program name); not an import when --import is not among the options.
ImportCommandParse ParseImportCommandLine(const QStringList& args);
QString ImportCommandHelp();

// Writes frames as a complete .anm animation (default brushes, the first frame current) to a
// temporary file beside path and renames it over path only when complete. Returns false with
// the text of the failure.
bool WriteImportedAnimation(const QString& path, std::vector<CompactImage>& frames, QString& error);

// Runs the import without a display: 0 done, 1 failed or interrupted, 2 bad arguments; -1 when
// the arguments are not an import. Call it before any QApplication exists.
int RunImportCommandLine(int argc, char** argv);
