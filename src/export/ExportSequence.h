#pragma once

#include <QString>
#include <functional>

class CLumvaneDoc;
class GrayImage;

// The formats in the order of the Export Settings radio group.
enum ExportFormat : int { EXPORT_DRAWING = 0, EXPORT_GRAY_TARGA = 1, EXPORT_COLOR_TARGA = 2 };

// What one export needs, whether it came from the dialog or from the command line.
struct ExportSettings {
    QString outputPath;  // a directory ending in '/'
    QString sequenceName;
    unsigned startNumber = 1;
    int format = EXPORT_DRAWING;
};

constexpr int kMaxSequenceName = 25;
constexpr unsigned kMaxStartNumber = 9999;

QString ExportTextSelectPath();   // "Please Select an Output Path"
QString ExportTextOnlyLetters();  // "Only letters are allowed for the sequence name."
QString ExportTextDiskProblem();  // "Disk Problem in Export"
QString ExportTextProgress(int frame, int count);  // "Exporting frame %d of %d"

// Letters A-Z and a-z only; the empty name passes.
bool IsSequenceNameValid(const QString& name);
// walk1.tsd for drawing files; walk0001.tga, walk10000.tga for Targa files.
QString ExportFileName(const QString& outputPath, const QString& name, unsigned number, int format);
// Makes a directory path end in the separator.
QString WithTrailingSeparator(const QString& dir);

// "Cannot write %1: it is the animation file %2." and the same for the sound track: no export
// may replace what it reads.
QString ExportTextIsAnimation(const QString& output, const QString& animation);
QString ExportTextIsSoundTrack(const QString& output, const QString& sound);
// The first of the names nameOf(start), ..., nameOf(start + count - 1) that is the file input,
// or an empty string.
QString NumberedNameThatIs(const std::function<QString(unsigned)>& nameOf, unsigned start,
                           int count, const QString& input);

// Writes one frame with the format's writer; 1, or 0 after the writer's message box. An unknown
// format writes nothing and succeeds.
int WriteExportFrame(const GrayImage& frame, int format, const QString& fileName);

// Writes every frame of the animation in order. progress(i, count) runs before frame i; the
// frame count is read again before each frame. Returns 1, or 0 after the writer's message
// and "Disk Problem in Export" (nothing more is written then). When one of the names is the
// animation's own file, nothing is written: 0 after ExportTextIsAnimation.
int ExportFrames(CLumvaneDoc& doc, const ExportSettings& settings,
                 const std::function<void(int, int)>& progress = {});
