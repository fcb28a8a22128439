#pragma once

#include <QString>

class QFile;

// Opens a file for reading only when it is a regular file. A FIFO would block the opening
// thread until someone writes to it, and a device may never end or act on being opened: such
// paths are refused without waiting, and a FIFO put in a regular file's place between the look
// and the open is caught by the non-blocking open.
enum class RegularFileOpen { Opened, NotRegular, Failed };
// Failed leaves errno set (EISDIR for a directory); NotRegular opens nothing.
RegularFileOpen AfxOpenRegularFile(QFile& file, const QString& path);

// Whether two paths name one existing file: the same device and inode once links are resolved.
bool IsSameFile(const QString& a, const QString& b);
