#pragma once

#include <QString>
#include <QStringList>

// Registers the .anm type with the desktop the way freedesktop.org desktops expect it: a
// desktop entry that opens (and prints) files with the program, a shared-mime-info type for
// *.anm, and the icon, all under dataDir (normally the user's ~/.local/share).
class CFileTypeRegistration {
  public:
    static QString MimeType() { return QStringLiteral("application/x-lumvane-animation"); }
    // The desktop entry that starts exePath; the installed one starts "lumvane" from PATH.
    static QByteArray DesktopEntry(const QString& exePath);
    static QByteArray MimeTypeXml();
    // A path as one argument of a desktop entry's Exec line.
    static QString QuoteExecArgument(const QString& path);

    // The system's data folders (XDG_DATA_DIRS, or its default), where a package puts them.
    static QStringList SystemDataDirs();

    // Writes each file that is missing or differs; returns the paths written. A file that an
    // installed package provides in one of systemDirs (other than dataDir) is left to the
    // package: it is neither written nor overwritten. When something was written and runTools
    // is set, the desktop's caches are refreshed by the usual tools if they are installed.
    // Files that cannot be written are skipped without a message.
    static QStringList Register(const QString& dataDir, const QString& exePath, bool runTools,
                                const QStringList& systemDirs = SystemDataDirs());
};
