#include "SoakRun.h"

#include "ProcessCounts.h"
#include "core/app/Host.h"
#include "core/download/DownloadSession.h"
#include "core/protocol/DownloadContext.h"
#include "devsim/Simulator.h"

#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pexo::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<std::string_view, 7> kEndingNames = {
    "set-up failed", "no echo", "connect failed", "success", "failed", "aborted", "hang"};

// The main window as the download sequence sees it: a context and the loaded image.
class SoakHost : public Host {
public:
    explicit SoakHost(std::span<const std::uint8_t> image)
        : image_(image), size_(static_cast<std::uint32_t>(image.size())) {}

    DownloadContext* downloadContext() override { return &ctx; }
    void showMessage(std::string_view, MessageIcon) override {}
    std::string& imageFile() override { return file_; }
    std::uint32_t& imageSize() override { return size_; }
    std::span<const std::uint8_t> imageBytes() const override { return image_; }

    DownloadContext ctx;

private:
    std::span<const std::uint8_t> image_;
    std::string file_ = "IMAGE.BIN";
    std::uint32_t size_;
};

// The completion commands of a run, as the protocol thread delivers them.
class CompletionRecorder {
public:
    CompletionSink sink() {
        return [this](CompletionCommand command) {
            {
                std::lock_guard lock(mutex_);
                if (!first_)
                    first_ = command;
                ++count_;
            }
            changed_.notify_all();
        };
    }
    std::optional<CompletionCommand> waitUntil(Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, deadline, [this] { return first_.has_value(); });
        return first_;
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<CompletionCommand> first_;
    int count_ = 0;
};

// Polls as the connect prompt does, at its timer period, until the echo, a failed line or
// the deadline.
Ending connect(DownloadSession& session, const DownloadContext& ctx, Clock::time_point deadline) {
    session.beginConnectPoll();
    for (;;) {
        if (session.pollTick())
            return Ending::Success;
        if (ctx.resultCode.load() != 0)
            return Ending::ConnectFailed;
        if (Clock::now() >= deadline)
            return Ending::NoEcho;
        std::this_thread::sleep_for(session.pollInterval());
    }
}

Ending endingOf(CompletionCommand command) {
    switch (command) {
    case CompletionCommand::Success:
        return Ending::Success;
    case CompletionCommand::Failed:
        return Ending::Failed;
    case CompletionCommand::Aborted:
        break;
    }
    return Ending::Aborted;
}

void drive(const RunPlan& plan, const devsim::Simulator& device, Observation& o) {
    SoakHost host(plan.image);
    host.ctx.devicePath = device.slavePath();
    CompletionRecorder completion;
    const auto start = Clock::now();
    DownloadSession session(host);
    std::string why;
    if (session.prepare(protocolParameters(plan), commSettings(plan), &why) !=
        DownloadSession::Setup::Ready) {
        o.setupError = "prepare: " + why;
        return;
    }
    o.ending = connect(session, host.ctx, start + plan.connectDeadline);
    if (o.ending == Ending::Success) {
        session.startProtocol(completion.sink());
        if (const auto command = completion.waitUntil(start + plan.hangLimit)) {
            o.ending = endingOf(*command);
        } else {
            o.ending = Ending::Hang;
            session.requestStop();
        }
        session.finishProtocol();
    }
    session.close();
    o.elapsed = std::chrono::duration_cast<Ms>(Clock::now() - start);
    o.completions = completion.count();
    o.connectedAfter = host.ctx.connected.load();
    o.portOpenAfter = session.portOpen();
    o.result = host.ctx.resultCode.load();
    o.commError = host.ctx.commErrorText();
    o.pcChecksum = host.ctx.pcChecksum.load();
    o.deviceChecksum = host.ctx.deviceChecksum.load();
}

void inspect(const RunPlan& plan, const devsim::Simulator& device, std::uint32_t blocksToCheck,
             Observation& o) {
    const std::vector<devsim::Frame> frames = device.frames();
    for (const devsim::Frame& f : frames) {
        if (f.command != devsim::command::kConnect)
            break;
        ++o.pollsSeen;
    }
    bool checksumRequested = false;
    for (const devsim::Frame& f : frames) {
        if (f.command == devsim::command::kChecksum || f.command == devsim::command::kFullChecksum)
            checksumRequested = true;
        else if (checksumRequested && (f.command == devsim::command::kWriteBlock ||
                                       f.command == devsim::command::kBlockChecksum))
            ++o.framesAfterChecksumRequest;
    }
    const devsim::Status status = device.status();
    o.hungUp = status.hungUp;
    o.bytesReceived = status.bytesReceived;

    if (o.ending != Ending::Success || blocksToCheck == 0)
        return;
    // Each block as the host sends it: the image's bytes, zero past its end.
    const std::size_t length = std::size_t{blocksToCheck} * plan.blockSize;
    std::vector<std::uint8_t> expected(length, 0);
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t a = static_cast<std::size_t>(plan.writeFirst) + i;
        if (a < plan.image.size())
            expected[i] = plan.image[a];
    }
    o.memoryMatches =
        device.readMemory(static_cast<std::uint32_t>(plan.writeFirst), length) == expected;
}

// A joined thread can still be listed for a moment while the kernel reaps it.
ProcessCounts settledCounts(const ProcessCounts& before) {
    const auto giveUpAt = Clock::now() + Ms(2000);
    ProcessCounts now = processCounts();
    while (!(now == before) && Clock::now() < giveUpAt) {
        std::this_thread::sleep_for(Ms(1));
        now = processCounts();
    }
    return now;
}

} // namespace

std::string_view endingName(Ending ending) {
    return kEndingNames[static_cast<std::size_t>(ending)];
}

Observation runOnce(const RunPlan& plan, std::uint32_t blocksToCheck) {
    Observation o;
    const ProcessCounts before = processCounts();
    {
        devsim::Simulator device(deviceOptions(plan));
        if (!device.start()) {
            o.setupError = "simulator: " + device.error();
        } else {
            drive(plan, device, o);
            // The device reads what the host sent before it closed once it sees the close.
            device.waitFor([](const devsim::Status& s) { return !s.hostOpen; }, Ms(1000));
            device.stop();
            device.join();
            inspect(plan, device, blocksToCheck, o);
        }
    }
    const ProcessCounts after = settledCounts(before);
    o.fdsBefore = before.fds;
    o.tasksBefore = before.tasks;
    o.fdsAfter = after.fds;
    o.tasksAfter = after.tasks;
    return o;
}

} // namespace pexo::soak
