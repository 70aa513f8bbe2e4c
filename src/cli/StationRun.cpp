#include "cli/StationRun.h"

#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/PortHost.h"
#include "cli/StopSignals.h"
#include "core/station/RecordBase.h"
#include "core/station/RecordLog.h"
#include "core/station/SessionPort.h"
#include "core/station/Station.h"

#include <memory>

namespace pexo::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The station's news, on the console: result lines as each try ends, messages, and a ring
// of the bell when a port ends so that the main loop looks.
class ConsoleListener : public StationListener {
public:
    ConsoleListener(Console& console, std::vector<std::string> prefixes, const RecordLog* log,
                    EndBell& bell)
        : console_(console), prefixes_(std::move(prefixes)), log_(log), bell_(bell) {}

    void portChanged(std::size_t, const PortSnapshot&) override {}
    void tryEnded(std::size_t port, const DownloadRecord& record) override {
        for (const std::string& line : record.lines)
            console_.result(prefixes_[port] + line);
    }
    void recordLost(std::size_t port, const std::string& text, const std::string& why) override {
        std::string record = text;
        while (!record.empty() && (record.back() == '\n' || record.back() == '\r'))
            record.pop_back();
        console_.message(prefixes_[port] + "--log " + (log_ ? log_->path() : "") + ": " + why +
                         ". Stopping after the downloads in progress. The record not written:");
        console_.message(record);
    }
    void message(std::size_t port, const std::string& text) override {
        console_.message(prefixes_[port] + text);
    }
    void portFinished(std::size_t) override { bell_.ring(); }

private:
    Console& console_;
    const std::vector<std::string> prefixes_;
    const RecordLog* log_;
    EndBell& bell_;
};

std::string portProgress(const PortSnapshot& s) {
    if (s.state != PortState::Downloading)
        return std::string(portStateName(s.state));
    std::string text = s.progress.percentText + "  " + s.progress.step;
    if (s.attempt > 1)
        text += "  (try " + std::to_string(s.attempt) + ")";
    return text;
}

std::string progressLine(const Station& station, const std::vector<PortChoice>& ports) {
    std::string line;
    for (std::size_t i = 0; i < station.portCount(); ++i) {
        const PortSnapshot s = station.snapshot(i);
        line += (line.empty() ? "" : " | ") + ports[i].name + ": " + portProgress(s) + " [" +
                std::to_string(s.passed) + " passed, " + std::to_string(s.failed) + " failed]";
    }
    return line;
}

// The exit status a port asks for, when it failed.
std::optional<int> failureStatus(const PortSummary& summary) {
    if (summary.firstFailedResult)
        return *summary.firstFailedResult;
    switch (summary.end) {
    case PortEnd::SetupFailed:
    case PortEnd::RecordFailed:
        return kExitSetupFailed;
    case PortEnd::ConnectTimeout:
        return kExitConnectTimeout;
    case PortEnd::Refused:
    case PortEnd::LineFailed:
        return summary.refusal.resultCode != 0 ? summary.refusal.resultCode : kExitSetupFailed;
    case PortEnd::None:
    case PortEnd::Done:
    case PortEnd::Stopped:
        break;
    }
    return std::nullopt;
}

} // namespace

int runStation(const StationJob& job, Console& console, StopSignals& signals) {
    const bool prefixed = job.request.station.loop || job.ports.size() > 1;
    std::vector<std::string> prefixes;
    std::vector<std::unique_ptr<PortHost>> hosts;
    std::vector<std::unique_ptr<SessionPort>> ports;
    for (const PortChoice& port : job.ports) {
        prefixes.push_back(prefixed ? port.name + ": " : "");
        auto host = std::make_unique<PortHost>(console, prefixes.back());
        host->setImage(job.buffer, job.imageSize, job.imageFile);
        host->downloadContext()->devicePath = port.devicePath;
        CommSettings comm = job.comm;
        comm.Port = port.listPosition;
        ports.push_back(std::make_unique<SessionPort>(*host, job.params, comm));
        hosts.push_back(std::move(host));
    }

    PortPlan plan;
    const StationRequest& wanted = job.request.station;
    plan.loop = wanted.loop;
    plan.count = wanted.count.value_or(0);
    plan.retries = wanted.retries;
    plan.goneAfter = wanted.goneAfter;
    plan.connectTimeout = job.request.connectTimeout;

    EndBell bell;
    ConsoleListener listener(console, prefixes, job.log, bell);
    SystemStationClock clock;
    const DownloadRecord base =
        recordBase(job.request.archive, job.buffer, job.imageSize, job.comm, job.params);
    Station station(clock, plan, base, job.log, listener);
    for (std::size_t i = 0; i < job.ports.size(); ++i)
        station.addPort(job.ports[i].name, job.ports[i].devicePath, *ports[i]);
    station.start();

    // Wakes for a stop, a port's end and, when progress is shown, once a second.
    bool interrupted = false;
    const bool showProgress = !job.request.quiet;
    auto nextProgress = Clock::now() + std::chrono::seconds(1);
    while (!station.allEnded()) {
        int timeout = -1;
        if (showProgress)
            timeout = static_cast<int>(std::max<std::int64_t>(
                0,
                std::chrono::ceil<std::chrono::milliseconds>(nextProgress - Clock::now()).count()));
        const Wake wake = waitForWake(signals, bell, timeout);
        if (wake.stop && signals.take() && !interrupted) {
            interrupted = true;
            console.message("Interrupted: stopping the downloads and closing the ports.");
            station.stop();
        }
        if (showProgress && Clock::now() >= nextProgress) {
            if (!station.allEnded())
                console.progress(progressLine(station, job.ports));
            nextProgress = Clock::now() + std::chrono::seconds(1);
        }
    }
    station.join();
    console.endProgress();

    std::optional<std::pair<Clock::time_point, int>> first;
    for (std::size_t i = 0; i < station.portCount(); ++i) {
        const PortSummary summary = station.summary(i);
        for (const std::string& line : summary.refusal.lines)
            console.result(prefixes[i] + line);
        const std::optional<int> status = failureStatus(summary);
        if (status && summary.firstFailureAt && (!first || *summary.firstFailureAt < first->first))
            first = {*summary.firstFailureAt, *status};
    }
    for (std::size_t i = 0; i < station.portCount(); ++i) {
        const PortSummary summary = station.summary(i);
        console.result(job.ports[i].name + ": " + std::to_string(summary.passed) + " passed, " +
                       std::to_string(summary.failed) + " failed");
    }
    if (station.recordFailed())
        return kExitSetupFailed; // a record went unwritten: nothing may look like success
    if (first)
        return first->second;
    return interrupted ? kExitInterrupted : kExitNormalEnd;
}

} // namespace pexo::cli
