#pragma once

#include "core/protocol/FrameWriter.h"

namespace pexo {

struct DownloadContext;

// Sends the protocol engine's frames with the serial writer; failures land in the context.
class PortFrameWriter final : public FrameWriter {
public:
    explicit PortFrameWriter(DownloadContext& ctx) : ctx_(ctx) {}
    void write(const std::uint8_t* bytes, std::size_t length) override;

private:
    DownloadContext& ctx_;
};

} // namespace pexo
