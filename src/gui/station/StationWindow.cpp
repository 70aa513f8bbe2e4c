#include "gui/station/StationWindow.h"

#include "core/image/ImageDocument.h"
#include "core/image/OpenArchive.h"
#include "core/settings/CommLists.h"
#include "core/settings/ParameterChecks.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/StationSettings.h"
#include "gui/app/AppTexts.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CUStatusBar.h"
#include "gui/app/MessageBox.h"
#include "gui/image/CPexoDoc.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "gui/station/StationController.h"
#include "gui/station/StationPortList.h"
#include "gui/station/StationTexts.h"
#include "gui/station/StationTile.h"
#include "gui/station/StationTotals.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pexo::gui {
namespace {

QString local(std::string_view text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::string local(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

int progressValue(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

// The station's own image, as an open leaves it: the archiver's path and length, the bytes.
class ImageHost final : public Host {
public:
    explicit ImageHost(QWidget* window) : m_window(window) {}
    DownloadContext* downloadContext() override { return nullptr; }
    void showMessage(std::string_view text, MessageIcon icon) override {
        showMessageBox(m_window,
                       QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), icon);
    }
    std::string& imageFile() override { return m_file; }
    std::uint32_t& imageSize() override { return m_size; }
    std::span<const std::uint8_t> imageBytes() const override { return {}; }

private:
    QWidget* m_window;
    std::string m_file;
    std::uint32_t m_size = 0;
};

// Tiles side by side: two for up to four ports, three for up to nine, four beyond.
int tileColumns(std::size_t ports) {
    return ports <= 1 ? 1 : ports <= 4 ? 2 : ports <= 9 ? 3 : 4;
}

QLabel* note(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

} // namespace

StationWindow::StationWindow(CMainFrame& frame, Archiver* archiver)
    : QWidget(&frame, Qt::Window), m_frame(frame), m_archiver(archiver),
      m_controller(std::make_unique<StationController>()),
      m_playSound([] { QApplication::beep(); }) {
    setObjectName(QStringLiteral("stationWindow"));
    setWindowTitle(QString::fromLatin1(texts::kStationTitle));
    setAttribute(Qt::WA_QuitOnClose, false);

    m_ports = new StationPortList(this);
    auto* portsGroup = new QGroupBox(QStringLiteral("Ports"), this);
    auto* portsLayout = new QVBoxLayout(portsGroup);
    portsLayout->addWidget(m_ports);
    m_ports->tree()->setMaximumHeight(fontMetrics().height() * 8);

    m_tileArea = new QWidget(this);
    m_tileArea->setObjectName(QStringLiteral("stationTiles"));
    auto* tileColumn = new QVBoxLayout(m_tileArea);
    tileColumn->setContentsMargins(0, 0, 0, 0);
    m_tileGrid = new QGridLayout;
    tileColumn->addLayout(m_tileGrid);
    tileColumn->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(m_tileArea);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus); // the tiles are to be seen, not operated

    m_totals = new QLabel(this);
    m_totals->setObjectName(QStringLiteral("stationTotals"));
    m_totals->setTextFormat(Qt::PlainText);
    m_start = new QPushButton(QString::fromLatin1(texts::kStationStart), this);
    m_start->setObjectName(QStringLiteral("stationStart"));
    m_stop = new QPushButton(QString::fromLatin1(texts::kStationStop), this);
    m_stop->setObjectName(QStringLiteral("stationStop"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_totals, 1);
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);

    m_status = new CUStatusBar(this);
    m_status->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeImageRow());
    layout->addWidget(makeRecordRow());
    layout->addWidget(portsGroup);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);

    StationSettings settings;
    if (const auto file = settingsFilePath())
        LoadStationSettings(settings, *file);
    m_recordFile->setText(
        local(settings.recordFile.empty() ? defaultRecordFile() : settings.recordFile));
    m_retries->setText(QString::number(settings.retries));
    m_goneAfter->setText(QString::number(settings.goneAfterMs));
    m_ports->setChosen(settings.ports);

    connect(m_start, &QPushButton::clicked, this, &StationWindow::OnStart);
    connect(m_stop, &QPushButton::clicked, this, &StationWindow::OnStop);
    connect(m_open, &QPushButton::clicked, this, &StationWindow::OnOpen);
    connect(m_change, &QPushButton::clicked, this, &StationWindow::OnChangeRecordFile);
    connect(m_ports, &StationPortList::chosenChanged, this, &StationWindow::updateCommands);
    connect(&m_frame, &CMainFrame::downloadStateChanged, this, &StationWindow::updateCommands);
    connect(&m_frame, &CMainFrame::imageChanged, this, [this] {
        m_shownImage.reset();
        showImage();
    });

    StationController* c = m_controller.get();
    connect(c, &StationController::portChanged, this, &StationWindow::onPortChanged);
    connect(c, &StationController::tryEnded, this, &StationWindow::onTryEnded);
    connect(c, &StationController::portMessage, this, [this](int port, const QString& text) {
        if (port >= 0 && static_cast<std::size_t>(port) < m_tiles.size())
            m_tiles[static_cast<std::size_t>(port)]->showMessage(text);
    });
    connect(c, &StationController::portEnded, this, [this](int port, const PortSummary& summary) {
        if (port >= 0 && static_cast<std::size_t>(port) < m_tiles.size()) {
            m_tiles[static_cast<std::size_t>(port)]->showEnd(summary);
            if (summary.end != PortEnd::Stopped && summary.end != PortEnd::Done)
                m_playSound();
        }
    });
    connect(c, &StationController::recordLost, this,
            [this](int, const QString& record, const QString& why) { onRecordLost(record, why); });
    connect(c, &StationController::progressed, this, [this] {
        for (std::size_t i = 0; i < m_tiles.size(); ++i)
            if (m_controller->snapshots()[i].state == PortState::Downloading)
                m_tiles[i]->showSnapshot(m_controller->snapshots()[i]);
        showTotals();
    });
    connect(c, &StationController::ended, this, &StationWindow::onEnded);

    m_status->setMessageText(QString::fromLatin1(texts::kReady));
    showImage();
    showTotals();
    updateCommands();

    // Top to bottom, as the rows stand, whatever order they were made in.
    QWidget* order[] = {m_open,
                        m_recordFile,
                        m_change,
                        m_retries,
                        m_goneAfter,
                        m_ports->tree(),
                        m_ports->otherPortEdit(),
                        m_ports->addButton(),
                        m_ports->refreshButton(),
                        m_start,
                        m_stop};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    resize(760, 720);
    // Over the main window, a little down and right of its corner, until it is moved.
    move(m_frame.geometry().topLeft() + QPoint(40, 40));
}

StationWindow::~StationWindow() {
    // Before the tiles go: the port threads end with the controller.
    m_controller.reset();
}

QWidget* StationWindow::makeImageRow() {
    auto* group = new QGroupBox(QStringLiteral("Image"), this);
    m_imageLine = new QLabel(group);
    m_imageLine->setObjectName(QStringLiteral("stationImage"));
    m_imageLine->setTextFormat(Qt::PlainText);
    m_imageLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_imageFacts = new QLabel(group);
    m_imageFacts->setObjectName(QStringLiteral("stationImageFacts"));
    m_imageFacts->setTextFormat(Qt::PlainText);
    m_open = new QPushButton(QStringLiteral("&Open..."), group);
    m_open->setObjectName(QStringLiteral("stationOpen"));
    auto* layout = new QGridLayout(group);
    layout->addWidget(m_imageLine, 0, 0);
    layout->addWidget(m_imageFacts, 1, 0);
    layout->addWidget(m_open, 0, 1, 2, 1, Qt::AlignVCenter);
    layout->setColumnStretch(0, 1);
    return group;
}

QWidget* StationWindow::makeRecordRow() {
    auto* group = new QGroupBox(QStringLiteral("Records"), this);
    m_recordFile = new QLineEdit(group);
    m_recordFile->setObjectName(QStringLiteral("recordFile"));
    m_change = new QPushButton(QStringLiteral("&Change..."), group);
    m_change->setObjectName(QStringLiteral("changeRecordFile"));
    m_retries = new QLineEdit(group);
    m_retries->setObjectName(QStringLiteral("retries"));
    m_retries->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    m_goneAfter = new QLineEdit(group);
    m_goneAfter->setObjectName(QStringLiteral("goneAfter"));
    m_goneAfter->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));

    auto* layout = new QGridLayout(group);
    layout->addWidget(note(QStringLiteral("Record file:"), group), 0, 0);
    layout->addWidget(m_recordFile, 0, 1, 1, 5);
    layout->addWidget(m_change, 0, 6);
    layout->addWidget(note(QStringLiteral("Retries:"), group), 1, 0);
    layout->addWidget(m_retries, 1, 1);
    layout->addWidget(note(QStringLiteral("(0 to %1)").arg(StationSettings::kMaxRetries), group), 1,
                      2);
    layout->addWidget(note(QStringLiteral("Gone after:"), group), 1, 3, Qt::AlignRight);
    layout->addWidget(m_goneAfter, 1, 4);
    layout->addWidget(note(QStringLiteral("ms (%1 to %2)")
                               .arg(StationSettings::kMinGoneAfterMs)
                               .arg(StationSettings::kMaxGoneAfterMs),
                           group),
                      1, 5);
    layout->setColumnStretch(5, 1);
    return group;
}

bool StationWindow::isRunning() const {
    return m_controller->isRunning();
}

// --- The image ---------------------------------------------------------------------------

std::shared_ptr<const StationImage> StationWindow::imageToSend() {
    if (m_ownImage)
        return m_ownImage;
    const std::string archive =
        m_frame.document() ? local(m_frame.document()->GetPathName()) : std::string();
    return copyStationImage(m_frame.imageBytes(), m_frame.imageSize(), m_frame.imageFile(),
                            archive.empty() ? m_frame.imageFile() : archive);
}

void StationWindow::showImage() {
    std::shared_ptr<const StationImage> image = m_ownImage;
    if (!image) {
        if (!m_shownImage || m_shownImage->imageFile != m_frame.imageFile() ||
            m_shownImage->length != m_frame.imageSize())
            m_shownImage = imageToSend();
        image = m_shownImage;
    }
    if (!image) {
        m_imageLine->setText(
            QStringLiteral("No image: open an archive here or in the main window."));
        m_imageFacts->clear();
        return;
    }
    const QString from = m_ownImage ? QString() : QStringLiteral("  (the main window's)");
    m_imageLine->setText(local(image->archive) + from);
    m_imageLine->setToolTip(local(image->imageFile));
    m_imageFacts->setText(QStringLiteral("Length: %1 bytes (0x%2)   SHA-256: %3")
                              .arg(image->length)
                              .arg(image->length, 0, 16)
                              .arg(QString::fromStdString(image->sha256.substr(0, 12))));
    m_imageFacts->setToolTip(QString::fromStdString(image->sha256));
}

bool StationWindow::openArchive(const QString& path) {
    if (isRunning())
        return false;
    ImageHost host(this);
    ImageDocument document;
    const bool opened = pexo::openArchive(document, local(path), {host, m_archiver, this});
    if (!opened) {
        showImage();
        return false;
    }
    m_ownImage = copyStationImage(document.buffer(), host.imageSize(), host.imageFile(),
                                  local(QFileInfo(path).absoluteFilePath()));
    m_status->setMessageText(QString::fromLatin1(texts::kReady));
    showImage();
    updateCommands();
    return m_ownImage != nullptr;
}

void StationWindow::OnOpen() {
    const QString path =
        QFileDialog::getOpenFileName(this, QString::fromLatin1(texts::kOpenTitle), QString(),
                                     QString::fromLatin1(texts::kOpenFilters));
    if (!path.isEmpty())
        openArchive(path);
}

// --- The record file ---------------------------------------------------------------------

void StationWindow::setRecordFile(const QString& path) {
    m_recordFile->setText(path.isEmpty() ? local(defaultRecordFile()) : path);
}

void StationWindow::OnChangeRecordFile() {
    QFileDialog dialog(this, QStringLiteral("Record File"), QFileInfo(recordFilePath()).path(),
                       QString::fromLatin1(texts::kRecordFilters));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Records are appended: an existing file is what the operator wants to go on with.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("jsonl"));
    dialog.selectFile(recordFilePath());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        setRecordFile(dialog.selectedFiles().constFirst());
}

QString StationWindow::recordFilePath() const {
    const QString typed = m_recordFile->text().trimmed();
    return typed.isEmpty() ? local(defaultRecordFile()) : typed;
}

// --- Start and stop ----------------------------------------------------------------------

bool StationWindow::refuse(QLineEdit* box, const QString& message) {
    showMessageBox(this, message, MessageIcon::Exclamation);
    if (box) {
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
    }
    return false;
}

bool StationWindow::readNumbers(unsigned& retries, unsigned& goneAfterMs) {
    std::int32_t value = 0;
    if (auto refused =
            readIntegerText(local(m_retries->text()),
                            {0, static_cast<std::int32_t>(StationSettings::kMaxRetries)}, value))
        return refuse(m_retries, QString::fromStdString(*refused));
    retries = static_cast<unsigned>(value);
    if (auto refused =
            readIntegerText(local(m_goneAfter->text()),
                            {static_cast<std::int32_t>(StationSettings::kMinGoneAfterMs),
                             static_cast<std::int32_t>(StationSettings::kMaxGoneAfterMs)},
                            value))
        return refuse(m_goneAfter, QString::fromStdString(*refused));
    // Shorter than a few polls, a device still on the fixture would be taken for gone
    // between two of its echoes, and flashed again.
    const std::int32_t code30 = m_frame.parameterDialog().parameters().Code30;
    const std::int32_t least = 3 * (code30 > 0 ? code30 : 20);
    if (value < least)
        return refuse(m_goneAfter,
                      QStringLiteral("Please enter at least %1 ms: three polls at the Code 30 "
                                     "interval, so that a device on the fixture is not taken "
                                     "for gone between its answers.")
                          .arg(least));
    goneAfterMs = static_cast<unsigned>(value);
    return true;
}

void StationWindow::saveSettings(unsigned retries, unsigned goneAfterMs) {
    const auto file = settingsFilePath();
    StationSettings settings;
    settings.ports = m_ports->chosen();
    const std::string record = local(recordFilePath());
    settings.recordFile = record == defaultRecordFile() ? std::string() : record;
    settings.retries = retries;
    settings.goneAfterMs = goneAfterMs;
    if (!file || !SaveStationSettings(settings, *file))
        showSettingsNotSaved(this);
}

void StationWindow::keepChosenPorts() {
    const auto file = settingsFilePath();
    StationSettings settings;
    if (!file || !LoadStationSettings(settings, *file) || settings.ports == m_ports->chosen())
        return;
    settings.ports = m_ports->chosen();
    if (!SaveStationSettings(settings, *file))
        showSettingsNotSaved(this);
}

void StationWindow::OnStart() {
    if (isRunning() || m_frame.downloadInUse())
        return;
    unsigned retries = 0;
    unsigned goneAfter = 0;
    if (!readNumbers(retries, goneAfter))
        return;
    const std::vector<std::string> ports = m_ports->chosen();
    if (ports.empty()) {
        refuse(m_ports->otherPortEdit(), QStringLiteral("Please tick the ports to use."));
        return;
    }
    StationJob job;
    job.image = imageToSend();
    if (!job.image) {
        refuse(nullptr, QStringLiteral("Please open an archive first."));
        return;
    }
    job.comm = m_frame.rs232cDialog().settings();
    job.comm.Flow = flowFrom(m_frame.rs232cDialog().flowChecks());
    job.params = m_frame.parameterDialog().parameters();
    job.ports = ports;
    job.retries = retries;
    job.goneAfter = std::chrono::milliseconds(goneAfter);
    const QString record = recordFilePath();
    job.recordFile = local(record);
    if (job.recordFile == defaultRecordFile())
        QDir().mkpath(QFileInfo(record).path()); // the user's data folder may not have it yet
    saveSettings(retries, goneAfter);

    if (auto refused = m_controller->start(std::move(job))) {
        showMessageBox(this,
                       QStringLiteral("The record file cannot be written, so the station does "
                                      "not start.\n%1")
                           .arg(local(*refused)),
                       MessageIcon::Stop);
        return;
    }
    makeTiles(ports);
    m_closeWhenEnded = false;
    m_status->setMessageText(QStringLiteral("Running: records go to %1").arg(record));
    m_frame.setStationRunning(true);
    showTotals();
    updateCommands();
    emit runningChanged(true);
}

void StationWindow::OnStop() {
    if (!isRunning() || m_controller->isStopping())
        return;
    m_controller->stop();
    m_status->setMessageText(
        QStringLiteral("Stopping: cancelling the downloads in progress and closing the ports..."));
    updateCommands();
}

void StationWindow::stopForQuit() {
    if (!isRunning()) {
        emit stationEnded();
        return;
    }
    m_quitting = true;
    OnStop();
}

void StationWindow::onEnded() {
    m_frame.setStationRunning(false);
    m_status->setMessageText(QStringLiteral("Stopped: every port is closed."));
    showTotals();
    updateCommands();
    // The keyboard focus left with the Stop that was pressed; Start takes it back.
    if (const QWidget* focus = focusWidget(); !focus || !focus->isEnabled() || focus == m_stop)
        m_start->setFocus(Qt::OtherFocusReason);
    emit runningChanged(false);
    emit stationEnded();
    if (m_closeWhenEnded && !m_quitting)
        close();
    m_closeWhenEnded = false;
}

void StationWindow::updateCommands() {
    const bool running = isRunning();
    const bool stopping = m_controller->isStopping();
    // Stop before Start: a Start that loses the keyboard focus as it is disabled hands it to
    // the next in line, which must then be the Stop that is enabled.
    m_stop->setEnabled(running && !stopping);
    m_start->setEnabled(!running && !m_frame.downloadInUse() && !m_ports->chosen().empty());
    for (QWidget* w : std::initializer_list<QWidget*>{m_open, m_recordFile, m_change, m_retries,
                                                      m_goneAfter, m_ports})
        w->setEnabled(!running);
}

// --- Tiles and totals --------------------------------------------------------------------

void StationWindow::makeTiles(const std::vector<std::string>& ports) {
    for (StationTile* tile : m_tiles)
        delete tile;
    m_tiles.clear();
    const int columns = tileColumns(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto* tile = new StationTile(local(ports[i]), m_ports->description(ports[i]), m_tileArea);
        m_tileGrid->addWidget(tile, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        m_tiles.push_back(tile);
    }
}

void StationWindow::showTotals() {
    m_totals->setText(
        StationTotals::of(m_controller->snapshots(), m_controller->sessionTime()).text());
}

void StationWindow::onPortChanged(int port, const PortSnapshot& snapshot) {
    if (port < 0 || static_cast<std::size_t>(port) >= m_tiles.size())
        return;
    m_tiles[static_cast<std::size_t>(port)]->showSnapshot(snapshot);
    showTotals();
}

void StationWindow::onTryEnded(int port, const DownloadRecord& record) {
    if (port < 0 || static_cast<std::size_t>(port) >= m_tiles.size())
        return;
    m_tiles[static_cast<std::size_t>(port)]->showTry(record);
    if (record.result && *record.result != 0)
        m_playSound();
}

void StationWindow::onRecordLost(const QString& record, const QString& why) {
    // One box for the run, however many ports lose a record; each record is in it.
    const QString text =
        QStringLiteral("The record file %1 cannot be written: %2.\nThe station stops after the "
                       "downloads in progress. The record not written:\n%3")
            .arg(recordFilePath(), why, record.trimmed());
    if (m_recordLostBox) {
        m_recordLostBox->setText(m_recordLostBox->text() + QStringLiteral("\n") + record.trimmed());
        return;
    }
    m_recordLostBox = new QMessageBox(QMessageBox::Critical, QString::fromLatin1(texts::kAppTitle),
                                      text, QMessageBox::Ok, this);
    m_recordLostBox->setTextFormat(Qt::PlainText);
    m_recordLostBox->setAttribute(Qt::WA_DeleteOnClose);
    m_recordLostBox->setObjectName(QStringLiteral("recordLostBox"));
    m_playSound();
    // Not waited for: the station goes on stopping while the operator reads it.
    m_recordLostBox->open();
}

// --- Window events -----------------------------------------------------------------------

void StationWindow::closeEvent(QCloseEvent* event) {
    if (!isRunning()) {
        keepChosenPorts();
        event->accept();
        return;
    }
    event->ignore();
    if (m_controller->isStopping()) {
        m_closeWhenEnded = true;
        return;
    }
    QMessageBox ask(QMessageBox::Question, QString::fromLatin1(texts::kAppTitle),
                    QString::fromLatin1(texts::kStopTheStation), QMessageBox::Yes | QMessageBox::No,
                    this);
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes || !isRunning())
        return;
    m_closeWhenEnded = true;
    OnStop();
}

void StationWindow::showEvent(QShowEvent* event) {
    showImage();
    updateCommands();
    // Ready to go: Start has the keyboard, or else the row that still needs something.
    if (!event->spontaneous() && !isRunning())
        (m_start->isEnabled() ? static_cast<QWidget*>(m_start) : m_open)
            ->setFocus(Qt::OtherFocusReason);
    QWidget::showEvent(event);
}

void StationWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isRunning())
        showImage();
    QWidget::changeEvent(event);
}

// --- ExtractionProgress ------------------------------------------------------------------

void StationWindow::setStatusText(std::string_view text) {
    m_status->setMessageText(local(text));
}

void StationWindow::setWindowEnabled(bool enabled) {
    setEnabled(enabled);
}

void StationWindow::showProgress(std::optional<std::string_view> text, bool show) {
    std::optional<QString> shown;
    if (text)
        shown = local(*text);
    m_status->ShowProgress(shown, show);
}

void StationWindow::setProgressRange(std::uint32_t upper) {
    m_status->progressBar()->setRange(0, progressValue(upper));
}

void StationWindow::setProgressPosition(std::uint32_t position) {
    m_status->progressBar()->setValue(progressValue(position));
}

} // namespace pexo::gui
