#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// A movie file that appears only when it is complete: bytes go to a hidden file beside the
// target, which replaces the target on Commit. Destroyed without Commit, or when Commit fails,
// the hidden file is removed and the target is untouched.
class MovieFile {
  public:
    explicit MovieFile(const QString& target);
    ~MovieFile();
    MovieFile(const MovieFile&) = delete;
    MovieFile& operator=(const MovieFile&) = delete;

    // Creates the hidden file; false when the folder cannot take it.
    bool Open();
    // Writes all of the bytes at the current position; false from the first failed write on.
    bool Write(const void* data, std::size_t size);
    // lseek on the file: the new position, or -1.
    std::int64_t Seek(std::int64_t offset, int whence);
    std::int64_t Size() const;
    // Reads at a position without moving the write position: bytes read, 0 at the end, -1.
    std::int64_t ReadAt(std::int64_t position, void* data, std::size_t size) const;
    // Closes the file and renames it to the target; false (and nothing left) on failure.
    bool Commit();

    // errno of the first failure, 0 while all went well.
    int Errno() const { return m_errno; }
    const QString& Target() const { return m_target; }

  private:
    void Fail(int error);
    void Discard();

    QString m_target;
    QString m_temp;
    int m_fd = -1;
    int m_errno = 0;
};
