#include "devsim/Simulator.h"

#include "devsim/DumpFile.h"
#include "devsim/LinePacer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pexo::devsim {
namespace {

// Replies wait here while the host does not read them; past this the device stops
// reading too, as a device whose transmitter is stalled would.
constexpr std::size_t kOutputLimit = 4096;
constexpr std::size_t kReadChunk = 4096;
// A paced line is read a few milliseconds' worth of bytes at a time: waking for every byte
// would make a busy device cost more than the host it serves.
constexpr std::chrono::milliseconds kReadBatchTime{4};
// DC3: a host line with software flow control stops sending on it.
constexpr std::uint8_t kXoff = 0x13;

} // namespace

struct Simulator::Loop {
    explicit Loop(std::uint32_t rate) : rx(rate), tx(rate) {}

    LinePacer rx;
    LinePacer tx;
    // Answers held back by Options::replyDelay, oldest first, and their byte count.
    struct Held {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Held> held;
    std::size_t heldBytes = 0;

    std::vector<std::uint8_t> out; // replies not yet taken by the line
    bool rxPending = false;        // bytes wait on the master (known readable, or paced)
    bool hostOpen = false;
    std::optional<Clock::time_point> lingerUntil; // set once the last session has ended
    bool failed = false;
    bool xoffSent = false;     // --xoff-after took effect: nothing more is read
    // --replug: a download has ended and the device is left on the fixture (Lingering), or
    // it is off the line (Out), until `plugDue`.
    enum class Plug { In, Lingering, Out } plug = Plug::In;
    Clock::time_point plugDue{};
    unsigned blockSession = 0; // the session the blocks below belong to
    std::uint64_t blocks = 0;  // write blocks received in that session

    void transmit(std::span<const std::uint8_t> bytes, Clock::time_point now) {
        if (bytes.empty())
            return;
        if (out.empty())
            tx.startBurst(now);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    void dropReplies() {
        out.clear();
        held.clear();
        heldBytes = 0;
    }
};

Simulator::Simulator(Options options) : options_(std::move(options)) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Simulator::~Simulator() {
    stop();
    join();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool Simulator::open() {
    std::string error;
    if (wakeFd_ < 0) {
        setError(std::string("eventfd: ") + std::strerror(errno));
        return false;
    }
    if (options_.xoffAfterBlocks == 0u) {
        setError("xoff-after: the block count must be at least 1");
        return false;
    }
    if (options_.completeEarlyAfter == 0u) {
        setError("complete-early: the block count must be at least 1");
        return false;
    }
    if (!pty_.create(error) ||
        (!options_.linkPath.empty() && !pty_.link(options_.linkPath, error)) ||
        !watch_.start(pty_.slavePath(), error)) {
        pty_.close();
        setError(error);
        return false;
    }
    return true;
}

bool Simulator::start() {
    if (thread_.joinable() || (!pty_.isOpen() && !open()))
        return false;
    thread_ = std::thread([this] { threadResult_ = run(); });
    return true;
}

void Simulator::stop() {
    stopRequested_.store(true);
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

int Simulator::join() {
    if (thread_.joinable())
        thread_.join();
    return threadResult_;
}

int Simulator::run() {
    if (!pty_.isOpen() && !open()) {
        std::lock_guard lock(mutex_);
        status_.finished = true;
        changed_.notify_all();
        return 1;
    }
    Loop loop(options_.rate);
    std::array<std::uint8_t, kReadChunk> buf;

    // Reads at most `want` bytes (fewer when the hang-up is due sooner) and hands them on.
    // Returns the count read, 0 when none were waiting, -1 when the line failed.
    auto readInput = [&](std::size_t want) -> ssize_t {
        if (want == 0)
            return 0;
        const ssize_t n = ::read(pty_.master(), buf.data(), std::min(want, buf.size()));
        if (n > 0) {
            receive({buf.data(), static_cast<std::size_t>(n)}, loop);
            return n;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        // Cannot happen while the device holds its own slave; stop rather than spin.
        setError(std::string("line read failed: ") +
                 (n == 0 ? "end of file" : std::strerror(errno)));
        loop.failed = true;
        return -1;
    };

    while (!stopRequested_.load() && !loop.failed) {
        const LineWatch::Change change = watch_.drain();
        if (change.any) {
            // A host that has just closed may have sent its last bytes right before.
            if (!change.hostOpen)
                while (loop.hostOpen && readInput(readLimit(kReadChunk, loop)) > 0)
                    ;
            if (!change.held)
                loop.rxPending = false;
            lineChanged(change, loop);
        }
        if (hangupDue()) {
            hangUp(loop);
            break;
        }
        auto now = Clock::now();
        if (loop.lingerUntil && (!loop.hostOpen || now >= *loop.lingerUntil))
            break;
        replugDue(loop, now);

        short masterEvents = 0;
        std::optional<Clock::time_point> deadline;
        auto wakeAt = [&](Clock::time_point t) {
            deadline = deadline ? std::min(*deadline, t) : t;
        };

        while (!loop.held.empty() && loop.held.front().due <= now) {
            loop.transmit(loop.held.front().bytes, now);
            loop.heldBytes -= loop.held.front().bytes.size();
            loop.held.pop_front();
        }
        if (!loop.held.empty())
            wakeAt(loop.held.front().due);

        if (!loop.out.empty()) {
            const std::size_t n = std::min(loop.out.size(), loop.tx.allowance(now));
            if (n == 0) {
                wakeAt(loop.tx.readyAt());
            } else {
                const ssize_t written = ::write(pty_.master(), loop.out.data(), n);
                if (written > 0) {
                    loop.out.erase(loop.out.begin(), loop.out.begin() + written);
                    loop.tx.moved(static_cast<std::size_t>(written));
                    continue;
                }
                if (written < 0 && errno != EAGAIN && errno != EINTR) {
                    setError(std::string("line write failed: ") + std::strerror(errno));
                    break;
                }
                masterEvents |= POLLOUT; // the host is not reading: wait for room
            }
        }
        if (!loop.lingerUntil && !loop.xoffSent &&
            loop.out.size() + loop.heldBytes < kOutputLimit) {
            if (!loop.rxPending) {
                masterEvents |= POLLIN;
            } else if (const std::size_t allowance = loop.rx.allowance(now); allowance > 0) {
                const std::size_t want = readLimit(std::min(allowance, kReadChunk), loop);
                const ssize_t n = readInput(want);
                if (n < 0)
                    break;
                loop.rx.moved(static_cast<std::size_t>(n));
                // A full read may have left more behind; a short one emptied the line.
                loop.rxPending = loop.rx.limited() && static_cast<std::size_t>(n) == want;
                continue;
            } else {
                wakeAt(loop.rx.readyAt(readBatch(loop)));
            }
        }
        if (loop.lingerUntil)
            wakeAt(*loop.lingerUntil);
        if (loop.plug != Loop::Plug::In)
            wakeAt(loop.plugDue);

        std::array<pollfd, 4> fds{{{watch_.fd(), POLLIN, 0},
                                   {wakeFd_, POLLIN, 0},
                                   {pty_.master(), masterEvents, 0},
                                   {options_.stopFd, POLLIN, 0}}};
        timespec timeout{};
        if (deadline) {
            const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::max(*deadline - now, Clock::duration::zero()));
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
            timeout.tv_sec = seconds.count();
            timeout.tv_nsec = (wait - seconds).count();
        }
        if (::ppoll(fds.data(), fds.size(), deadline ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            setError(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        }
        if (fds[3].revents & (POLLIN | POLLHUP | POLLERR))
            stopRequested_.store(true);
        if (fds[2].revents & (POLLHUP | POLLERR)) {
            setError("line hung up unexpectedly");
            break;
        }
        if (fds[2].revents & POLLIN) {
            loop.rxPending = true;
            loop.rx.startBurst(Clock::now());
        }
    }

    watch_.stop();
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        if (protocol_.sessionActive()) {
            protocol_.lineReset();
            sessionEnded(lines);
        }
        writeDump();
    }
    pty_.close();
    {
        std::lock_guard lock(mutex_);
        status_.hostOpen = false;
        status_.finished = true;
    }
    changed_.notify_all();
    emit(lines);
    return error().empty() ? 0 : 1;
}

std::size_t Simulator::readBatch(const Loop& loop) const {
    int waiting = 0;
    // An unknown count reads byte by byte.
    if (::ioctl(pty_.master(), FIONREAD, &waiting) != 0 || waiting < 1)
        waiting = 1;
    std::size_t batch =
        std::min(loop.rx.bytesIn(kReadBatchTime), static_cast<std::size_t>(waiting));
    {
        // Never past a request's end: each request is then taken, and answered, when its last
        // byte would have arrived on a real line.
        std::lock_guard lock(mutex_);
        batch = std::min(batch, protocol_.bytesToRequestEnd());
    }
    return std::max<std::size_t>(readLimit(batch, loop), 1);
}

bool Simulator::hangupDue() const {
    return options_.hangupAfter && status().bytesReceived >= *options_.hangupAfter;
}

std::size_t Simulator::hangupLimit(std::size_t want) const {
    if (!options_.hangupAfter)
        return want;
    const std::uint64_t received = status().bytesReceived;
    const std::uint64_t left =
        *options_.hangupAfter > received ? *options_.hangupAfter - received : 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(want, left));
}

std::size_t Simulator::readLimit(std::size_t want, const Loop& loop) const {
    if (loop.xoffSent)
        return 0;
    want = hangupLimit(want);
    if (options_.xoffAfterBlocks) {
        // Request by request, so that nothing after the last block is taken off the line.
        std::lock_guard lock(mutex_);
        want = std::min(want, protocol_.bytesToRequestEnd());
    }
    return want;
}

bool Simulator::xoffDue(const Frame& frame, unsigned session, Loop& loop) const {
    if (!options_.xoffAfterBlocks || frame.command != command::kWriteBlock || frame.dataLength == 0)
        return false;
    if (session != loop.blockSession) {
        loop.blockSession = session;
        loop.blocks = 0;
    }
    return ++loop.blocks == *options_.xoffAfterBlocks;
}

void Simulator::lineChanged(const LineWatch::Change& change, Loop& loop) {
    if (change.held) {
        // Another program came or went while the host kept the line: its session goes on.
        {
            std::lock_guard lock(mutex_);
            status_.openers = change.openers;
        }
        changed_.notify_all();
        return;
    }
    // Replies to a host that has gone are never delivered, and the next host must not find
    // them waiting on the line.
    loop.dropReplies();
    loop.hostOpen = change.hostOpen;
    ::tcflush(pty_.ownSlave(), TCIFLUSH);
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        status_.hostOpen = change.hostOpen;
        status_.openers = change.openers;
        if (protocol_.sessionActive()) {
            protocol_.lineReset();
            if (sessionEnded(lines))
                loop.lingerUntil = Clock::now() + options_.linger + options_.replyDelay;
        } else {
            protocol_.lineReset();
        }
    }
    changed_.notify_all();
    emit(lines);
}

void Simulator::receive(std::span<const std::uint8_t> bytes, Loop& loop) {
    std::vector<std::string> lines;
    DeviceProtocol::Output output;
    bool xoff = false;
    {
        std::lock_guard lock(mutex_);
        status_.bytesReceived += bytes.size();
        // Bytes still arriving from a host that has closed the line are not answered; nor are
        // those after the last session, which belong to a download the device will not serve.
        // Bytes on a line without a device go nowhere.
        while (loop.hostOpen && !loop.lingerUntil && !loop.xoffSent &&
               loop.plug != Loop::Plug::Out && !bytes.empty()) {
            const unsigned before = protocol_.sessionsEnded();
            const std::size_t frameCount = output.frames.size();
            bytes = bytes.subspan(protocol_.receive(bytes, output));
            for (std::size_t i = frameCount; i < output.frames.size(); ++i) {
                if (options_.log)
                    lines.push_back(describe(output.frames[i]));
                frames_.push_back(output.frames[i]);
                if (frames_.size() > options_.frameHistory)
                    frames_.pop_front();
                ++status_.frameCount;
                if (xoffDue(output.frames[i], before, loop)) {
                    // The host's line stops sending, and this device never reads again.
                    loop.xoffSent = status_.xoffSent = true;
                    xoff = true;
                    if (options_.log)
                        lines.push_back("-- XOFF sent after block " + std::to_string(loop.blocks) +
                                        "; reading no more");
                }
            }
            if (protocol_.sessionsEnded() != before) {
                if (sessionEnded(lines)) {
                    loop.lingerUntil = Clock::now() + options_.linger + options_.replyDelay;
                } else if (options_.replug) {
                    loop.plug = Loop::Plug::Lingering;
                    loop.plugDue = Clock::now() + options_.onFixture;
                }
            }
        }
    }
    changed_.notify_all();
    if (loop.hostOpen) {
        const auto now = Clock::now();
        if (options_.replyDelay.count() > 0 && !output.reply.empty()) {
            loop.heldBytes += output.reply.size();
            loop.held.push_back({now + options_.replyDelay, std::move(output.reply)});
        } else {
            loop.transmit(output.reply, now);
        }
        if (xoff)
            loop.transmit(std::span(&kXoff, 1), now);
    }
    emit(lines);
}

bool Simulator::sessionEnded(std::vector<std::string>& lines) {
    status_.sessionsEnded = protocol_.sessionsEnded();
    if (options_.log)
        lines.push_back("-- session " + std::to_string(status_.sessionsEnded) + " ended");
    writeDump();
    return options_.sessions != 0 && status_.sessionsEnded >= options_.sessions;
}

void Simulator::writeDump() {
    if (options_.dumpPath.empty())
        return;
    std::string error;
    if (!writeDumpFile(dumpPath(), memory_.dump(), error) && error_.empty())
        error_ = error;
}

void Simulator::replugDue(Loop& loop, Clock::time_point now) {
    if (loop.plug == Loop::Plug::In || now < loop.plugDue)
        return;
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        // Replies already on their way still arrive; nothing after them is heard.
        protocol_.unplug();
        if (loop.plug == Loop::Plug::Lingering) {
            loop.plug = Loop::Plug::Out;
            loop.plugDue = now + *options_.replug;
            status_.plugged = false;
            if (options_.log)
                lines.push_back("-- device " + std::to_string(status_.device) + " unplugged");
        } else {
            loop.plug = Loop::Plug::In;
            memory_ = SparseMemory{};
            ++status_.device;
            status_.plugged = true;
            if (options_.log)
                lines.push_back("-- device " + std::to_string(status_.device) + " plugged in");
        }
    }
    changed_.notify_all();
    emit(lines);
}

std::string Simulator::dumpPath() const {
    // Each device of a --replug run keeps its own dump.
    if (options_.replug)
        return options_.dumpPath + "." + std::to_string(status_.device);
    return options_.dumpPath;
}

void Simulator::hangUp(Loop& loop) {
    pty_.close();
    loop.dropReplies();
    loop.hostOpen = false;
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        status_.hungUp = true;
        if (options_.log)
            lines.push_back("-- hung up after " + std::to_string(status_.bytesReceived) + " bytes");
    }
    emit(lines);
}

void Simulator::setError(std::string text) {
    std::lock_guard lock(mutex_);
    if (error_.empty())
        error_ = std::move(text);
}

std::string Simulator::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void Simulator::emit(const std::vector<std::string>& lines) const {
    if (options_.log)
        for (const std::string& line : lines)
            options_.log(line);
}

Status Simulator::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

bool Simulator::waitFor(const std::function<bool(const Status&)>& condition,
                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(status_); });
}

std::vector<Frame> Simulator::frames() const {
    std::lock_guard lock(mutex_);
    return {frames_.begin(), frames_.end()};
}

std::vector<std::uint8_t> Simulator::readMemory(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    return memory_.read(address, length);
}

std::optional<SparseMemory::Range> Simulator::writtenRange() const {
    std::lock_guard lock(mutex_);
    return memory_.writtenRange();
}

std::vector<std::uint8_t> Simulator::memoryDump() const {
    std::lock_guard lock(mutex_);
    return memory_.dump();
}

} // namespace pexo::devsim
