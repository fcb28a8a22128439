#pragma once

// Recovery copies of unsaved work. While the document has changes a copy is written in the
// background: an ordinary .anm made by the program's own writer, a side file that names the
// animation, and a lock that the writing program holds as long as it runs. A copy is removed
// when its changes are saved or given up; one whose program is gone is offered at the next
// start.

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class CLumvaneDoc;
class QLockFile;

namespace recovery {
// The copies' folder under the user's application data.
QString DefaultFolder();
}  // namespace recovery

// A copy left by a program that is no longer running, locked for whoever found it so that
// no other start takes it at the same time. The lock goes with the object.
struct CRecoveredCopy {
    CRecoveredCopy();
    CRecoveredCopy(CRecoveredCopy&&) noexcept;
    CRecoveredCopy& operator=(CRecoveredCopy&&) noexcept;
    ~CRecoveredCopy();

    QString id;            // the name the copy's files share
    QString copyPath;      // the .anm
    QString infoPath;      // the side file
    QString originalPath;  // where the animation was saved last; empty when never
    QString title;
    QDateTime time;         // when the copy was written
    qint64 pid = 0;         // the program that wrote it
    bool readable = false;  // the side file could be read
    std::unique_ptr<QLockFile> lock;

    // Deletes the copy's files.
    void Delete();
    // Keeps a damaged copy for whoever wants to look at it: ".damaged" is added to its names.
    void SetAside();
};

// The copies in folder whose writing program is gone, the newest first. Copies of running
// programs are left alone.
std::vector<CRecoveredCopy> FindAbandonedCopies(const QString& folder);

// Writes the recovery copies of one program. The window thread only takes a snapshot of what
// changed since the last copy (the frames' encodings, shared, never copied; see FrameMark); a
// worker thread writes the changed frames' runs as they are, takes the unchanged ones from the
// previous copy and writes the new one through QSaveFile, so a copy interrupted half-way
// leaves the previous one whole.
class CRecoveryWriter {
  public:
    explicit CRecoveryWriter(const QString& folder);
    // Waits for a copy being written, then removes this program's copy: a normal end.
    ~CRecoveryWriter();
    CRecoveryWriter(const CRecoveryWriter&) = delete;
    CRecoveryWriter& operator=(const CRecoveryWriter&) = delete;

    enum class Result {
        Started,    // the snapshot went to the worker
        Unchanged,  // nothing changed since the last copy
        Busy,       // the previous copy is still being written
        InStroke    // a stroke is being drawn; try again after it
    };
    // Window thread: hands what changed in doc since the last copy to the worker. Never
    // touches the document's modified flag, path, title or undo.
    Result Copy(CLumvaneDoc& doc);
    // Removes the copy, cancelling one being written; the next copy starts afresh.
    void Discard();
    // Takes over a copy left by an earlier run, lock and all: this program's next copy
    // replaces it and Discard removes it.
    void Adopt(CRecoveredCopy& copy);

    bool Busy() const;
    void WaitUntilIdle();
    // This program's copy and side file; empty until the first copy is written.
    QString CopyPath() const;
    QString InfoPath() const;
    QString Folder() const;

    // Called on the worker thread after each copy: 0 when it was written, otherwise the
    // error number of the failure (the previous copy then stays as it was).
    std::function<void(int error)> m_onWritten;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
