#pragma once

// Drawings on paper, scanned or photographed, made into frames: which files and in which
// order, reading them with Qt's image readers, and the clean-up of each on all cores.

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "raster/CompactImage.h"
#include "raster/ScanCleanup.h"

class GrayImage;

struct ImportOptions {
    QSize size;  // frame size; empty: the first image's, the width up to a multiple of 4
    FitMode fit = FitMode::Inside;
    bool autoLevels = true;
    bool dropColour = false;
    bool registerPegs = false;
    bool byNumber = false;
};

// Frames of the import in order; each names the file it shows (a frame without a drawing of
// its own holds the drawing before it).
struct FramePlan {
    QStringList files;         // the drawings, each once, in frame order
    std::vector<int> source;   // for each frame, its index in files
    std::vector<QSize> sizes;  // of each file as its header gives it, turned as shown
};

// The largest picture read: beyond it one decoded image alone would take more than the
// memory the import allows itself besides the frames.
constexpr int kMaxImageSide = 30000;
constexpr std::int64_t kMaxImagePixels = 40'000'000;
// Memory the import uses besides its frames, at most.
constexpr std::int64_t kImportWorkBytes = 200ll << 20;

// The texts of the import, shared by the window and the command line.
QString ImportTextNotFound(const QString& file);
QString ImportTextNoImages(const QString& folder);
QString ImportTextUnreadable(const QString& file);
QString ImportTextDamaged(const QString& file);
QString ImportTextEmpty(const QString& file);
QString ImportTextTooLarge(const QString& file, int width, int height);
QString ImportTextNoNumber(const QString& file);
QString ImportTextSameNumber(const QString& first, const QString& second, qint64 number);
QString ImportTextTooMany(int frames, int room);
QString ImportTextNoMemory(int frames, int width, int height);
QString ImportTextNoPegs(const QStringList& files);
QString ImportTextProgress(int image, int count);
QString ImportTextCancelled();

// File names compared as people number them: walk2 before walk10, letters without case.
bool NaturalLess(const QString& a, const QString& b);
// Names Qt's image readers take (by their ending), for folders and the file dialog.
QStringList ImageNameFilters();

// Expands folders into the images they hold, in natural name order; files stay as given.
// Returns false with the text naming the missing file or the folder without images.
bool CollectImageFiles(const QStringList& paths, QStringList& files, QString& error);

// Orders the files into frames: natural name order, or by the last run of digits in each
// name (the lowest number is the first frame, missing numbers hold the drawing before).
// Refuses, before reading any image, a set that needs more than room frames. Then reads every
// header and refuses unreadable, empty and oversized images.
bool PlanFrames(const QStringList& files, bool byNumber, int room, FramePlan& plan, QString& error);

// The frame size a set gets without one given: the first image's, width up to a multiple of 4.
QSize DefaultFrameSize(const QSize& first);

// Reads one image into gray, with its orientation applied, colour as BT.709 luma, alpha over
// white, and with dropColour coloured pencil as paper. Refuses what PlanFrames refuses.
bool ReadDrawing(const QString& file, bool dropColour, GrayPlane& gray, QString& error);

// A read drawing cleaned up and fitted into frame (created at the frame size) as options say.
int CleanIntoFrame(const GrayPlane& gray, const ImportOptions& options, GrayImage& frame);

// Progress of BuildFrames on the calling thread: images done and their count; returning
// false cancels.
using ImportProgress = std::function<bool(int done, int count)>;

enum ImportResult { IMPORT_DONE, IMPORT_CANCELLED, IMPORT_FAILED };

struct ImportOutcome {
    ImportResult result = IMPORT_DONE;
    QString error;             // IMPORT_FAILED: what went wrong, naming the file
    QStringList unregistered;  // drawings whose peg holes were not found, imported unmoved
};

// Makes the frames of plan at frameSize, aside from any document, each encoded as soon as it is
// cleaned: frames is resized to the frame count. Each image is read and cleaned on its own core,
// one at a time per core.
ImportOutcome BuildFrames(const FramePlan& plan, const ImportOptions& options,
                          const QSize& frameSize, std::vector<CompactImage>& frames,
                          const ImportProgress& progress);

// The import's working memory and the frames kept decoded fit; the encoded frames are
// checked as they are made.
bool ImportMemoryFits(int frames, const QSize& frameSize);
