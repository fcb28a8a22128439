#include "export/ExportSequence.h"

#include <QFile>

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
    for (int i = 0; i < doc.m_nFrameCount && i < CLumvaneDoc::kMaxFrames; ++i) {
        if (progress) progress(i, doc.m_nFrameCount);
        const unsigned n = settings.startNumber + static_cast<unsigned>(i);
        const QString file =
            ExportFileName(settings.outputPath, settings.sequenceName, n, settings.format);
        if (!WriteExportFrame(doc.m_frames[i], settings.format, file)) {
            AfxMessageBox(ExportTextDiskProblem());
            return 0;
        }
    }
    return 1;
}
