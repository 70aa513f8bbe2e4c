#pragma once

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/SerialPort.h"

#include "support/PeerLine.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace pexo::test {

using namespace std::chrono_literals;

// Generous: only a broken implementation gets near it.
inline constexpr std::chrono::milliseconds kDeadline = 10s;

// The "main window" as the serial code sees it.
class SerialTestHost : public Host {
public:
    DownloadContext* downloadContext() override { return hasContext ? &ctx : nullptr; }
    void showMessage(std::string_view, MessageIcon) override {}
    std::string& imageFile() override { return file_; }
    std::uint32_t& imageSize() override { return size_; }
    std::span<const std::uint8_t> imageBytes() const override { return {}; }

    DownloadContext ctx;
    bool hasContext = true;

private:
    std::string file_;
    std::uint32_t size_ = 0;
};

// Collects what the reader thread hands over. With holdFirstChunk, the first call waits
// until release(), so the test can queue bytes behind it while the reader is busy.
class ChunkRecorder {
public:
    explicit ChunkRecorder(bool holdFirstChunk = false) : holding_(holdFirstChunk) {}

    ReceiveSink sink() {
        return [this](std::span<const std::uint8_t> chunk) {
            std::unique_lock lock(mutex_);
            chunks_.emplace_back(chunk.begin(), chunk.end());
            total_ += chunk.size();
            changed_.notify_all();
            changed_.wait(lock, [this] { return !holding_; });
        };
    }

    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }

    bool waitForBytes(std::size_t count, std::chrono::milliseconds timeout = kDeadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return total_ >= count; });
    }

    std::vector<std::vector<std::uint8_t>> chunks() const {
        std::lock_guard lock(mutex_);
        return chunks_;
    }

    std::vector<std::uint8_t> bytes() const {
        std::lock_guard lock(mutex_);
        std::vector<std::uint8_t> all;
        for (const auto& c : chunks_)
            all.insert(all.end(), c.begin(), c.end());
        return all;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::size_t total_ = 0;
    bool holding_;
};

inline std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return out;
}

// Open descriptors (handles on Windows) of this process.
inline int openDescriptorCount() {
    return openHandleCount();
}

} // namespace pexo::test
