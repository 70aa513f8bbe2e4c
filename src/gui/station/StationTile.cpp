#include "gui/station/StationTile.h"

#include "core/protocol/ResultTexts.h"
#include "gui/station/StationTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

namespace pexo::gui {
namespace {

constexpr int kBarMaximum = 1000;
const QColor kPassedColour(0xC6, 0xEF, 0xC6);
const QColor kFailedColour(0xF6, 0xC4, 0xC4);

QLabel* plainLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    // A long line must not widen the tile: it is cut off instead.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QString joined(const std::vector<std::string>& lines, std::size_t from) {
    QStringList parts;
    for (std::size_t i = from; i < lines.size(); ++i)
        parts << QString::fromStdString(lines[i]);
    return parts.join(QLatin1Char('\n'));
}

// A failure's report: its time line, the error line, then the details.
void splitFailure(const std::vector<std::string>& lines, QString& error, QString& detail) {
    std::size_t at = 0;
    if (!lines.empty() && lines.front().starts_with("stop time"))
        at = 1;
    error = at < lines.size() ? QString::fromStdString(lines[at]) : QString();
    detail = joined(lines, at + 1);
    if (detail.isEmpty())
        detail = joined(lines, 0);
}

} // namespace

StationTile::StationTile(const QString& port, const QString& description, QWidget* parent)
    : QFrame(parent), m_port(port), m_state(plainLabel(this, "tileState")),
      m_result(plainLabel(this, "tileResult")), m_counts(plainLabel(this, "tileCounts")),
      m_progress(new QProgressBar(this)) {
    setObjectName(QStringLiteral("stationTile"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAutoFillBackground(true);
    setMinimumWidth(220);

    auto* name = plainLabel(this, "tilePort");
    name->setText(port);
    name->setToolTip(port);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* about = plainLabel(this, "tileDescription");
    about->setText(description);
    about->setToolTip(description);

    m_progress->setObjectName(QStringLiteral("tileProgress"));
    m_progress->setRange(0, kBarMaximum);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_state->setText(QString::fromLatin1(texts::kTileStarting));
    m_counts->setText(QString::fromLatin1(texts::kTileCounts).arg(0).arg(0));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(3);
    for (QWidget* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(about),
                       static_cast<QWidget*>(m_state), static_cast<QWidget*>(m_result),
                       static_cast<QWidget*>(m_progress), static_cast<QWidget*>(m_counts)})
        layout->addWidget(w);
}

void StationTile::showSnapshot(const PortSnapshot& s) {
    m_counts->setText(QString::fromLatin1(texts::kTileCounts).arg(s.passed).arg(s.failed));
    QString state;
    switch (s.state) {
    case PortState::WaitingForPort:
        state = QString::fromLatin1(m_opened ? texts::kTilePortGone : texts::kTileStarting);
        break;
    case PortState::WaitingForDevice:
        m_opened = true;
        state = QString::fromLatin1(texts::kTileWaiting);
        break;
    case PortState::Downloading: {
        m_opened = true;
        // A new device clears the last one's colour; a retry keeps it until it ends.
        if (s.tries != m_tries && s.attempt <= 1)
            setVerdict(Verdict::None, {}, {});
        m_tries = s.tries;
        const std::string percent =
            s.progress.percentText.empty() ? "0.0 %" : s.progress.percentText;
        state = QString::fromLatin1(texts::kTileDownloading).arg(QString::fromStdString(percent));
        if (s.attempt > 1)
            state += QStringLiteral(" (try %1)").arg(s.attempt);
        m_progress->setValue(
            std::clamp(static_cast<int>(s.progress.percent * kBarMaximum / 100), 0, kBarMaximum));
        break;
    }
    case PortState::Recording:
        state = QString::fromLatin1(texts::kTileRecording);
        break;
    case PortState::WaitingForRemoval:
        state = QString::fromLatin1(texts::kTileRemoval);
        break;
    case PortState::Ended:
        state = endText(s.end);
        break;
    }
    m_state->setText(state);
    m_state->setToolTip(s.state == PortState::Ended || s.state == PortState::WaitingForPort
                            ? m_lastMessage
                            : QString());
}

void StationTile::showTry(const DownloadRecord& record) {
    if (!record.result) {
        setVerdict(Verdict::None, QString::fromLatin1(texts::kTileCancelled), {});
        return;
    }
    if (*record.result == 0) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(record.elapsed);
        setVerdict(Verdict::Passed,
                   QString::fromLatin1(texts::kTilePassed)
                       .arg(QString::fromStdString(
                           durationText(static_cast<std::uint32_t>(seconds.count())))),
                   joined(record.lines, 0));
        m_progress->setValue(kBarMaximum);
        return;
    }
    QString error, detail;
    splitFailure(record.lines, error, detail);
    if (error.isEmpty())
        error = QStringLiteral("result %1").arg(*record.result);
    setVerdict(Verdict::Failed, QString::fromLatin1(texts::kTileFailed).arg(error), detail);
}

void StationTile::showMessage(const QString& text) {
    m_lastMessage = text;
    m_state->setToolTip(text);
}

void StationTile::showEnd(const PortSummary& summary) {
    if (summary.end != PortEnd::Refused || summary.refusal.lines.empty())
        return;
    QString error, detail;
    splitFailure(summary.refusal.lines, error, detail);
    setVerdict(Verdict::Failed, QString::fromLatin1(texts::kTileFailed).arg(error), detail);
}

QString StationTile::endText(PortEnd end) const {
    const QString why = m_lastMessage.isEmpty() ? QString() : QStringLiteral(": ") + m_lastMessage;
    switch (end) {
    case PortEnd::None:
    case PortEnd::Done:
    case PortEnd::Stopped:
        return QStringLiteral("Stopped");
    case PortEnd::SetupFailed:
        return QStringLiteral("Stopped: the port could not be used") + why;
    case PortEnd::Refused:
        return QStringLiteral("Stopped: the settings or the image cannot serve") + why;
    case PortEnd::ConnectTimeout:
    case PortEnd::LineFailed:
        return QStringLiteral("Stopped: the line failed") + why;
    case PortEnd::RecordFailed:
        return QStringLiteral("Stopped: the record could not be written");
    }
    return QStringLiteral("Stopped");
}

void StationTile::setVerdict(Verdict verdict, const QString& text, const QString& detail) {
    m_verdict = verdict;
    m_result->setText(text);
    m_result->setToolTip(detail);
    QPalette colours = palette();
    const QColor background = verdict == Verdict::Passed   ? kPassedColour
                              : verdict == Verdict::Failed ? kFailedColour
                                                           : QPalette().color(QPalette::Window);
    colours.setColor(QPalette::Window, background);
    // Dark text on the light verdict colours, whatever the desktop's theme.
    colours.setColor(QPalette::WindowText, verdict == Verdict::None
                                               ? QPalette().color(QPalette::WindowText)
                                               : QColor(Qt::black));
    setPalette(colours);
}

} // namespace pexo::gui
