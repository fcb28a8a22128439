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

QStringList CFileTypeRegistration::Register(const QString& dataDir, const QString& exePath,
                                            bool runTools) {
    const QDir base(dataDir);
    const QString desktop = base.filePath(QStringLiteral("applications/lumvane.desktop"));
    const QString mime = base.filePath(QStringLiteral("mime/packages/lumvane.xml"));
    const QString icon = base.filePath(QStringLiteral("icons/hicolor/48x48/apps/lumvane.png"));
    QStringList written;
    if (WriteIfChanged(desktop, DesktopEntry(exePath))) written << desktop;
    if (WriteIfChanged(mime, MimeTypeXml())) written << mime;
    if (WriteIfChanged(icon, ReadResource(QStringLiteral(":/lumvane/lumvane-48.png"))))
        written << icon;
    if (runTools && !written.isEmpty()) {
        RunIfPresent(QStringLiteral("update-desktop-database"),
                     base.filePath(QStringLiteral("applications")));
        RunIfPresent(QStringLiteral("update-mime-database"), base.filePath(QStringLiteral("mime")));
    }
    return written;
}
