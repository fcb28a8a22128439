#include "export/ExportSequence.h"

#include <sys/stat.h>

#include <QFile>
#include <algorithm>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"
#include "raster/GrayImage.h"

QString ExportTextSelectPath() {
    return QStringLiteral("Please Select an Output Path");
}
QString ExportTextOnlyLetters() {
    return QStringLiteral("Only letters are allowed for the sequence name.");
}
QString ExportTextDiskProblem() {
    return QStringLiteral("Disk Problem in Export");
}
QString ExportTextProgress(int frame, int count) {
    return QStringLiteral("Exporting frame %1 of %2").arg(frame).arg(count);
}

bool IsSequenceNameValid(const QString& name) {
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'))) return false;
    }
    return true;
}

QString ExportFileName(const QString& outputPath, const QString& name, unsigned number,
                       int format) {
    const QString n = QString::number(number);
    if (format == EXPORT_DRAWING) return outputPath + name + n + QStringLiteral(".tsd");
    const char* pad = number < 10 ? "000" : number < 100 ? "00" : number < 1000 ? "0" : "";
    return outputPath + name + QLatin1String(pad) + n + QStringLiteral(".tga");
}

QString WithTrailingSeparator(const QString& dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

QString ExportTextIsAnimation(const QString& output, const QString& animation) {
    return QStringLiteral("Cannot write %1: it is the animation file %2.").arg(output, animation);
}
QString ExportTextIsSoundTrack(const QString& output, const QString& sound) {
    return QStringLiteral("Cannot write %1: it is the sound track %2.").arg(output, sound);
}

QString NumberedNameThatIs(const std::function<QString(unsigned)>& nameOf, unsigned start,
                           int count, const QString& input) {
    struct stat in {};
    if (input.isEmpty() || ::stat(QFile::encodeName(input).constData(), &in) != 0) return QString();
    for (int i = 0; i < count; ++i) {
        const QString name = nameOf(start + static_cast<unsigned>(i));
        struct stat out {};
        if (::stat(QFile::encodeName(name).constData(), &out) == 0 && out.st_dev == in.st_dev &&
            out.st_ino == in.st_ino)
            return name;
    }
    return QString();
}

int WriteExportFrame(const GrayImage& frame, int format, const QString& fileName) {
    const std::string name = QFile::encodeName(fileName).toStdString();
    const WriteErrorSink report = [](const std::string& text) {
        AfxMessageBox(QFile::decodeName(QByteArray::fromStdString(text)));
    };
    switch (format) {
        case EXPORT_DRAWING:
            return frame.WriteDrawingFile(name, report);
        case EXPORT_GRAY_TARGA:
            return frame.WriteGrayTarga(name, report);
        case EXPORT_COLOR_TARGA:
            return frame.WriteColorTarga(name, report);
        default:
            return 1;
    }
}

int ExportFrames(CLumvaneDoc& doc, const ExportSettings& settings,
                 const std::function<void(int, int)>& progress) {
    const QString clash = NumberedNameThatIs(
        [&settings](unsigned n) {
            return ExportFileName(settings.outputPath, settings.sequenceName, n, settings.format);
        },
        settings.startNumber, std::min(doc.m_nFrameCount, CLumvaneDoc::kMaxFrames),
        doc.GetPathName());
    if (!clash.isEmpty()) {
        AfxMessageBox(ExportTextIsAnimation(clash, doc.GetPathName()));
        return 0;
    }
    GrayImage pixels;  // one frame decoded at a time, whatever the animation's length
    for (int i = 0; i < doc.m_nFrameCount && i < CLumvaneDoc::kMaxFrames; ++i) {
        if (progress) progress(i, doc.m_nFrameCount);
        const unsigned n = settings.startNumber + static_cast<unsigned>(i);
        const QString file =
            ExportFileName(settings.outputPath, settings.sequenceName, n, settings.format);
        if (!doc.StoredFrame(i).Decode(pixels) ||
            !WriteExportFrame(pixels, settings.format, file)) {
            AfxMessageBox(ExportTextDiskProblem());
            return 0;
        }
    }
    return 1;
}
