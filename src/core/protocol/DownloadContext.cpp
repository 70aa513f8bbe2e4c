#include "core/protocol/DownloadContext.h"

#include <algorithm>
#include <cstring>

namespace pexo {

DownloadContext::DownloadContext() = default;

DownloadContext::~DownloadContext() {
    if (auto close = closeOpenPort.load())
        close(*this);
    // A thread still attached here (closed from within its own sink) is ending by itself;
    // terminating the process for it would be worse.
    if (readerThread.joinable())
        readerThread.detach();
}

std::string DownloadContext::commErrorText() const {
    std::lock_guard lock(textMutex_);
    return std::string(commErrorText_);
}

void DownloadContext::setCommErrorText(std::string_view text) {
    std::lock_guard lock(textMutex_);
    const std::size_t n = std::min(text.size(), kCommErrorTextSize - 1);
    std::memcpy(commErrorText_, text.data(), n);
    commErrorText_[n] = '\0';
}

void DownloadContext::recordResult(std::int32_t code) {
    resultCode.store(code);
    notifyChange();
}

std::uint8_t DownloadContext::currentStep() const {
    const std::int32_t i = stepIndex.load();
    if (i < 0 || static_cast<std::size_t>(i) >= kStepCount)
        return 0;
    return steps[static_cast<std::size_t>(i)].load();
}

std::array<std::uint8_t, DownloadContext::kReplyCapacity> DownloadContext::replySnapshot() const {
    std::array<std::uint8_t, kReplyCapacity> out{};
    for (std::size_t i = 0; i < kReplyCapacity; ++i)
        out[i] = replyBytes[i].load();
    return out;
}

void DownloadContext::notifyChange() {
    {
        std::lock_guard lock(changeMutex_);
        ++changeCount_;
    }
    changeCv_.notify_all();
}

bool DownloadContext::waitForChange(std::chrono::microseconds timeout) {
    return waitForChangeUntil(std::chrono::steady_clock::now() + timeout);
}

bool DownloadContext::waitForChangeUntil(
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(changeMutex_);
    const auto changed = [this] { return changeCount_ != seenCount_; };
    bool seen = true;
    if (deadline)
        seen = changeCv_.wait_until(lock, *deadline, changed);
    else
        changeCv_.wait(lock, changed);
    seenCount_ = changeCount_;
    return seen;
}

void resetProtocolState(DownloadContext& ctx) {
    ctx.deviceSectorSizeCode = 0;
    ctx.resultCode = 0;
    ctx.pcChecksum = 0;
    ctx.stepIndex = 0;
    ctx.writeAddress = 0;
    ctx.pendingRequest = 0;
    ctx.replyLength = 0;
    ctx.lastTxTick = 0;
    ctx.elapsedSeconds = 0;
    ctx.setCommErrorText("");
    for (auto& b : ctx.replyBytes)
        b = 0;
    const std::uint8_t table[DownloadContext::kStepCount] = {
        0xD6, 0x82, 0x85, 0x83, static_cast<std::uint8_t>(ctx.fullChecksumEnabled ? 0x89 : 0x86),
        0xFF};
    for (std::size_t i = 0; i < DownloadContext::kStepCount; ++i)
        ctx.steps[i] = table[i];
}

void advanceStep(DownloadContext& ctx) {
    // pendingRequest is cleared before the step moves, so a byte racing in behind a
    // completing reply is never matched against the next step's request.
    ctx.pendingRequest = 0;
    for (auto& b : ctx.replyBytes)
        b = 0;
    ctx.replyLength = 0;
    ctx.lastTxTick = 0;
    ctx.stepIndex.fetch_add(1);
    ctx.notifyChange();
}

} // namespace pexo
