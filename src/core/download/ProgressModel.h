#pragma once

#include <cstdint>
#include <string>

namespace pexo {

struct DownloadContext;

// What the progress display shows, recomputed from the context once a second. Shared by the
// desktop progress dialog and the command line's progress line.
class ProgressModel {
public:
    explicit ProgressModel(std::uint32_t imageSize);

    // One refresh from the context's current step and block.
    void update(const DownloadContext& ctx);

    const std::string& percentText() const { return percentText_; }
    const std::string& processLine() const { return processLine_; }
    std::uint32_t barPosition() const { return lastBar_; }
    std::uint32_t barMaximum() const { return imageSize_ / 100; }

private:
    std::uint32_t imageSize_;
    std::string percentText_ = "0.0 %";
    std::string processLine_;
    std::int32_t lastStepShown_ = -1;
    std::uint32_t lastBar_ = 0;
};

} // namespace pexo
