#include "app/FileTypeRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
QByteArray ReadResource(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// True when the file was (re)written.
bool WriteIfChanged(const QString& path, const QByteArray& content) {
    if (content.isEmpty()) return false;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content) return false;
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    out.write(content);
    return out.commit();
}

void RunIfPresent(const QString& tool, const QString& dir) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (!exe.isEmpty()) QProcess::startDetached(exe, {dir});
}
}  // namespace

QString CFileTypeRegistration::QuoteExecArgument(const QString& path) {
    bool plain = !path.isEmpty();
    for (QChar c : path)
        if (!(c.isLetterOrNumber() || QStringLiteral("/._-+,:@").contains(c))) plain = false;
    if (plain) return path;
    // Inside double quotes the Exec rules escape " ` $ \ with a backslash and a literal % is
    // written %%; the desktop entry's own string rule then doubles every backslash.
    QString quoted;
    for (QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return '"' + quoted + '"';
}

QByteArray CFileTypeRegistration::DesktopEntry(const QString& exePath) {
    QString entry = QString::fromUtf8(ReadResource(QStringLiteral(":/lumvane/lumvane.desktop")));
    const QString exec = QuoteExecArgument(exePath);
    entry.replace(QStringLiteral("\nExec=lumvane "), QStringLiteral("\nExec=") + exec + ' ');
    return entry.toUtf8();
}

QByteArray CFileTypeRegistration::MimeTypeXml() {
    return ReadResource(QStringLiteral(":/lumvane/lumvane.xml"));
}

QStringList CFileTypeRegistration::SystemDataDirs() {
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share/:/usr/share/");
    return dirs.split(':', Qt::SkipEmptyParts);
}

QStringList CFileTypeRegistration::Register(const QString& dataDir, const QString& exePath,
                                            bool runTools, const QStringList& systemDirs) {
    const QDir base(dataDir);
    const QString own = QFileInfo(dataDir).canonicalFilePath();
    // Our own earlier copies do not count as installed, even when dataDir is on the list.
    auto installed = [&](const QString& relative) {
        for (const QString& dir : systemDirs) {
            const QString canonical = QFileInfo(dir).canonicalFilePath();
            if (!canonical.isEmpty() && canonical != own &&
                QFileInfo::exists(QDir(dir).filePath(relative)))
                return true;
        }
        return false;
    };
    const QString desktopName = QStringLiteral("applications/lumvane.desktop");
    const QString mimeName = QStringLiteral("mime/packages/lumvane.xml");
    const QString iconName = QStringLiteral("icons/hicolor/48x48/apps/lumvane.png");
    QStringList written;
    auto write = [&](const QString& relative, const QByteArray& content) {
        const QString path = base.filePath(relative);
        if (!installed(relative) && WriteIfChanged(path, content)) written << path;
    };
    write(desktopName, DesktopEntry(exePath));
    write(mimeName, MimeTypeXml());
    write(iconName, ReadResource(QStringLiteral(":/lumvane/lumvane-48.png")));
    if (runTools && !written.isEmpty()) {
        RunIfPresent(QStringLiteral("update-desktop-database"),
                     base.filePath(QStringLiteral("applications")));
        RunIfPresent(QStringLiteral("update-mime-database"), base.filePath(QStringLiteral("mime")));
    }
    return written;
}
