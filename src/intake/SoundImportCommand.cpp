#include "intake/SoundImportCommand.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <memory>
#include <thread>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "intake/SoundImport.h"

namespace {

// How long decoding runs before the progress window shows.
constexpr int kQuietMillis = 400;

// The decoding thread's results, shared with the window thread.
struct DecodeJob {
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    SoundDecode result = SoundDecode::Unreadable;
    DecodedSound track;
};

class CSoundProgressDlg : public QDialog {
  public:
    CSoundProgressDlg(const QString& file, QWidget* parent, std::atomic<bool>& cancel)
        : QDialog(parent) {
        setWindowTitle(QStringLiteral("Import Sound"));
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Reading the sound track of %1...").arg(file)));
        m_bar = new QProgressBar;
        m_bar->setRange(0, 1000);
        layout->addWidget(m_bar);
        auto* button = new QPushButton(QStringLiteral("Cancel"));
        button->setObjectName(QStringLiteral("cancel"));
        layout->addWidget(button, 0, Qt::AlignRight);
        connect(button, &QPushButton::clicked, this, [&cancel, button] {
            cancel = true;
            button->setEnabled(false);
        });
    }
    void SetPermille(int value) { m_bar->setValue(value); }

  protected:
    // Escape and the close box cancel too; the window goes when decoding has stopped.
    void reject() override {
        if (QPushButton* b = findChild<QPushButton*>(QStringLiteral("cancel"))) b->click();
    }

  private:
    QProgressBar* m_bar;
};

// Decodes path on a thread of its own while the window thread keeps painting; input reaches
// only the progress window.
std::shared_ptr<DecodeJob> DecodeOffThread(const QString& path, QWidget* parent) {
    auto job = std::make_shared<DecodeJob>();
    std::thread worker([job, path] {
        job->result = DecodeSoundFile(path, job->track, [&job = *job](double done) {
            job.permille = static_cast<int>(done * 1000);
            return !job.cancel.load();
        });
        job->done = true;
    });
    std::unique_ptr<CSoundProgressDlg> window;
    QElapsedTimer clock;
    clock.start();
    while (!job->done) {
        if (!window && clock.elapsed() >= kQuietMillis && qobject_cast<QApplication*>(qApp)) {
            window = std::make_unique<CSoundProgressDlg>(QFileInfo(path).fileName(), parent,
                                                         job->cancel);
            window->show();
        }
        if (window) window->SetPermille(job->permille);
        QCoreApplication::processEvents(
            window ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 10);
        if (!job->done) std::this_thread::sleep_for(std::chrono::milliseconds(window ? 10 : 2));
    }
    worker.join();
    return job;
}

void Report(const QString& text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

void OnImportSound(CLumvaneDoc& doc, IWaveOutSystem& waveOut, QWidget* parent) {
    FileDialogRequest request;
    request.open = true;
    request.title = QStringLiteral("Import Sound");
    request.filter = QStringLiteral(
        "Sound and Video Files (*.wav *.mp3 *.flac *.ogg *.oga *.opus *.aac *.m4a *.aif *.aiff "
        "*.mp4 *.mov *.mkv *.webm *.avi);;All Files (*)");
    request.mustExist = true;
    const QString path = AfxUi().FileDialog(request);
    if (path.isEmpty()) return;
    const QString name = QFileInfo(path).fileName();

    const std::shared_ptr<DecodeJob> job = DecodeOffThread(path, parent);
    if (job->result == SoundDecode::Cancelled) return;
    if (job->result != SoundDecode::Ok) {
        Report(SoundDecodeText(job->result, name));
        return;
    }
    auto track = std::make_shared<const DecodedSound>(std::move(job->track));
    std::vector<unsigned char> format = DecodedSoundFormat(track->rate, track->channels);
    // The new device is opened before the old track is given up.
    std::unique_ptr<IWaveOut> device = waveOut.Query(format) ? waveOut.Open(format) : nullptr;
    if (!device) {
        Report(SoundTextNoDevice(name));
        return;
    }
    doc.m_szSoundPath = path;
    doc.UseDecodedSound(std::move(track), std::move(format), std::move(device));
}

void RegisterSoundImportCommand(CLumvaneDoc& doc, CFrameWnd* frame, IWaveOutSystem& waveOut) {
    CLumvaneDoc* d = &doc;
    IWaveOutSystem* out = &waveOut;
    doc.OnCommand(ID_AUDIO_IMPORTSOUND,
                  [d, out, f = QPointer<CFrameWnd>(frame)] { OnImportSound(*d, *out, f); });
    doc.OnUpdateCommand(ID_AUDIO_IMPORTSOUND, [](CCmdUI* ui) { ui->Enable(true); });
}
