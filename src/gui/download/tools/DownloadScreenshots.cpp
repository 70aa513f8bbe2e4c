// Takes the download dialogs' pictures in docs/screenshots: the connect prompt, the progress
// dialog mid-write and both result dialogs, each from a real download through the main
// window's Download command against the simulated device. Run by scripts/screenshots-download
// under a virtual X server, from a program folder whose settings file leads COM1 to the
// device's link.
//
//   pexo-download-screenshots OUT_FOLDER COM1_LINK

#include "core/protocol/DownloadContext.h"
#include "devsim/Simulator.h"
#include "gui/app/CMainFrame.h"
#include "gui/download/CUConnectModeDialog.h"
#include "gui/download/CUDownloadDialog.h"
#include "gui/download/CUDownloadEndDialog.h"
#include "gui/download/CUDownloadErrorDialog.h"
#include "gui/tools/CaptionedGrab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

using namespace pexo;
using namespace pexo::gui;

// The main window holding an image in memory, as an opened archive leaves it.
class ShotFrame : public CMainFrame {
public:
    explicit ShotFrame(std::uint32_t length) : m_image(length) {
        for (std::uint32_t i = 0; i < length; ++i)
            m_image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 10));
        imageFile() = "/home/operator/.cache/pexo/TEMP/PexoTEMP/SAMPLE.BIN";
        imageSize() = length;
        setDocumentTitle(QString::fromStdString(imageFile()));
        OnUpdateDownload();
    }
    std::span<const std::uint8_t> imageBytes() const override { return m_image; }

private:
    std::vector<std::uint8_t> m_image;
};

// One step of a run: when the active modal window satisfies `ready`, `act` takes its picture
// and moves the run on.
struct Step {
    std::function<bool(QWidget*)> ready;
    std::function<void(QWidget*)> act;
};

class Photographer {
public:
    explicit Photographer(QDir out) : m_out(std::move(out)) {}

    bool save(QWidget* window, const char* name) {
        // Painted at least once on the screen before it is grabbed.
        if (window->windowHandle())
            for (int i = 0; i < 100 && !window->windowHandle()->isExposed(); ++i)
                QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::processEvents();
        const QString file = m_out.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        const bool saved = tools::withCaption(window).save(file);
        QTextStream(stderr) << (saved ? file : QStringLiteral("could not write ") + file) << "\n";
        m_failures += saved ? 0 : 1;
        return saved;
    }

    // Runs the Download command, stepping through the dialogs it opens; false when a step
    // was not reached within a minute.
    bool run(CMainFrame& frame, std::vector<Step> steps) {
        std::size_t next = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        QTimer timer;
        bool busy = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (busy)
                return;
            busy = true;
            QWidget* modal = QApplication::activeModalWidget();
            if (std::chrono::steady_clock::now() > deadline) {
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            } else if (modal && next < steps.size() && steps[next].ready(modal)) {
                steps[next++].act(modal);
            }
            busy = false;
        });
        timer.start(10);
        frame.postDownloadCommand();
        QCoreApplication::sendPostedEvents(&frame);
        timer.stop();
        if (next != steps.size()) {
            QTextStream(stderr) << "screenshots: step " << next + 1 << " was not reached\n";
            ++m_failures;
            return false;
        }
        return true;
    }

    int failures() const { return m_failures; }

private:
    QDir m_out;
    int m_failures = 0;
};

template <class W> std::function<bool(QWidget*)> is(std::function<bool(W*)> also = nullptr) {
    return [also](QWidget* w) {
        auto* typed = qobject_cast<W*>(w);
        return typed && (!also || also(typed));
    };
}

bool startDevice(std::optional<devsim::Simulator>& device, devsim::Options options,
                 const std::string& link) {
    device.reset();
    QFile::remove(QString::fromStdString(link));
    options.linkPath = link;
    options.linger = std::chrono::milliseconds(0);
    device.emplace(std::move(options));
    if (device->start())
        return true;
    std::fprintf(stderr, "screenshots: device: %s\n", device->error().c_str());
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: pexo-download-screenshots OUT_FOLDER COM1_LINK\n");
        return 2;
    }
    Photographer camera{QDir(args.at(1))};
    const std::string link = args.at(2).toStdString();

    // The shipped write range, 0x6000 to 0x1FFFFF: an image just long enough for it.
    ShotFrame frame(0x200000);
    frame.show();

    // A whole download: the prompt once the device has answered, the progress dialog about
    // two fifths of the way, the normal end.
    std::optional<devsim::Simulator> device;
    if (!startDevice(device, {}, link))
        return 1;
    camera.run(frame, {{is<CUConnectModeDialog>([](CUConnectModeDialog* d) {
                            return d->continueButton()->isEnabled();
                        }),
                        [&](QWidget* w) {
                            camera.save(w, "connect-mode");
                            static_cast<CUConnectModeDialog*>(w)->continueButton()->click();
                        }},
                       {is<CUDownloadDialog>([&](CUDownloadDialog*) {
                            return frame.downloadContext()->writeAddress.load() >= 0xC8000;
                        }),
                        [&](QWidget* w) {
                            auto* progress = static_cast<CUDownloadDialog*>(w);
                            progress->refresh(); // what the next tick of its timer shows
                            camera.save(w, "download-progress");
                        }},
                       {is<CUDownloadEndDialog>(), [&](QWidget* w) {
                            camera.save(w, "download-normal-end");
                            static_cast<CUDownloadEndDialog*>(w)->doneButton()->click();
                        }}});

    // A device that refuses the first block.
    devsim::Options failing;
    failing.fail = devsim::Step::Write;
    if (!startDevice(device, std::move(failing), link))
        return 1;
    // The Download command waits half a second after a download before it runs again.
    for (int i = 0; i < 300 && frame.isDownloading(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    camera.run(frame, {{is<CUConnectModeDialog>([](CUConnectModeDialog* d) {
                            return d->continueButton()->isEnabled();
                        }),
                        [](QWidget* w) {
                            static_cast<CUConnectModeDialog*>(w)->continueButton()->click();
                        }},
                       {is<CUDownloadErrorDialog>(), [&](QWidget* w) {
                            camera.save(w, "download-error");
                            static_cast<CUDownloadErrorDialog*>(w)->doneButton()->click();
                        }}});
    device.reset();
    return camera.failures() == 0 ? 0 : 1;
}
