#include "core/serial/WriteSupport.h"

#include "core/protocol/DownloadContext.h"
#include "core/serial/CommErrors.h"

#include <algorithm>

namespace pexo {

using std::chrono::milliseconds;

namespace {
// The longest a writer sleeps between looks at a draining queue when the driver cannot be
// waited on: keeps a count that moved without telling anyone from going unnoticed for long.
constexpr milliseconds kDrainLookInterval{100};
} // namespace

WriterLease::WriterLease(SerialLink& link) : link_(link) {
    std::lock_guard lock(link_.mutex);
    held_ = link_.isOpen() && !link_.closing && !link_.writesCancelled;
    if (held_)
        ++link_.activeWriters;
}

WriterLease::~WriterLease() {
    if (!held_)
        return;
    std::lock_guard lock(link_.mutex);
    if (--link_.activeWriters == 0)
        link_.writersGone.notify_all();
}

WriteClock::WriteClock(WriteLimits limits) : limits_(limits), start_(Clock::now()) {
    progressed();
}

std::optional<milliseconds> WriteClock::left() const {
    std::optional<Clock::time_point> deadline;
    auto tighten = [&](Clock::time_point from, milliseconds limit) {
        if (limit <= milliseconds(0))
            return;
        // A limit past the clock's range is no limit in practice.
        if (limit >= std::chrono::duration_cast<milliseconds>(Clock::time_point::max() - from))
            return;
        const auto at = from + limit;
        deadline = deadline ? std::min(*deadline, at) : at;
    };
    tighten(start_, limits_.total);
    tighten(lastProgress_, limits_.stall);
    if (!deadline)
        return std::nullopt;
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(*deadline - Clock::now()));
}

milliseconds drainTime(std::size_t pending, std::uint32_t baudRate) {
    const std::uint64_t baud = baudRate > 0 ? baudRate : 9600;
    const std::uint64_t ms = (std::uint64_t{pending} * 10'000 + baud - 1) / baud;
    return milliseconds(std::clamp<std::uint64_t>(ms, 1, kDrainLookInterval.count()));
}

void recordShortWrite(DownloadContext& ctx, std::size_t sent) {
    ctx.setCommErrorText(writeTimeoutText(static_cast<long>(sent)));
    ctx.recordResult(kSerialError);
}

void recordCommError(DownloadContext& ctx, std::uint32_t bits) {
    ctx.setCommErrorText(commErrorText(bits));
    ctx.recordResult(kSerialError);
}

} // namespace pexo
