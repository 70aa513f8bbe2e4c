#include "core/download/ProgressModel.h"

#include "core/protocol/DownloadContext.h"

#include <cstdio>

namespace pexo {
namespace {

std::string processText(std::int32_t step) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Process %d", step);
    return buf;
}

std::uint32_t bytesForSectorCode(std::uint8_t code) {
    return code >= 1 && code <= 7 ? 128u << (code - 1) : 0u;
}

} // namespace

ProgressModel::ProgressModel(std::uint32_t imageSize) : imageSize_(imageSize) {}

void ProgressModel::update(const DownloadContext& ctx) {
    const std::int32_t step = ctx.stepIndex.load();
    if (step != lastStepShown_) {
        lastStepShown_ = step;
        processLine_ = processText(step);
    }
    const bool writing = ctx.currentStep() == 0x83;
    const std::uint32_t sector = bytesForSectorCode(ctx.sectorSizeCode);
    const std::int32_t address = ctx.writeAddress.load();

    std::uint32_t position = static_cast<std::uint32_t>(address);
    // Widened so that an address near the top of the signed range cannot overflow.
    if (static_cast<std::int64_t>(address) + sector >= ctx.writeLastAddress) {
        // The last block is on its way: just under the whole image until the device confirms.
        position = static_cast<std::uint32_t>(static_cast<double>(imageSize_) *
                                              static_cast<double>(0.9999f));
        if (writing)
            processLine_ = processText(step);
    } else if (writing) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Process %d:[0x%06X + %04u]", step,
                      static_cast<unsigned>(address), static_cast<unsigned>(sector));
        processLine_ = buf;
    }

    const std::uint32_t bar = position / 100;
    if (bar == lastBar_)
        return;
    lastBar_ = bar;
    const double value = imageSize_ == 0 ? 0.0 : (100.0 / imageSize_) * position;
    char number[32];
    if (value >= 100.0) {
        std::snprintf(number, sizeof number, "100");
        processLine_ = processText(lastStepShown_);
    } else {
        std::snprintf(number, sizeof number, "%3.2f", value);
    }
    percentText_ = std::string(number) + " %";
}

} // namespace pexo
