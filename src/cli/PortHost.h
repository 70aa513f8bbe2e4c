#pragma once

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"

#include <cstdint>
#include <span>
#include <string>

namespace pexo::cli {

class Console;

// The "main window" of one port: its own download context, the shared image, and messages
// that go to the console with the port's name in front when several ports run.
class PortHost : public Host {
public:
    PortHost(Console& console, std::string messagePrefix);

    DownloadContext* downloadContext() override { return &context_; }
    void showMessage(std::string_view text, MessageIcon icon) override;
    std::string& imageFile() override { return imageFile_; }
    std::uint32_t& imageSize() override { return imageSize_; }
    std::span<const std::uint8_t> imageBytes() const override { return image_; }

    // The image every port sends; the bytes must outlive the host.
    void setImage(std::span<const std::uint8_t> bytes, std::uint32_t size,
                  const std::string& file);

private:
    Console& console_;
    std::string prefix_;
    DownloadContext context_;
    std::span<const std::uint8_t> image_;
    std::string imageFile_;
    std::uint32_t imageSize_ = 0;
};

} // namespace pexo::cli
