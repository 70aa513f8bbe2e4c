#pragma once

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "gui/station/StationImage.h"

#include <functional>
#include <memory>
#include <string>

namespace pexo::gui {

// The "main window" of one station port: a download context of its own on the port's path,
// the station's image, and messages passed on without waiting. A port runs unattended: its
// thread must never stop on a message box, nor hold up a stop that waits for it.
class StationHost : public Host {
public:
    using Tell = std::function<void(const std::string& text)>;

    // `tell` is called on whichever thread has something to say.
    StationHost(std::shared_ptr<const StationImage> image, const std::string& devicePath,
                Tell tell);

    DownloadContext* downloadContext() override { return &m_context; }
    void showMessage(std::string_view text, MessageIcon icon) override;
    std::string& imageFile() override { return m_imageFile; }
    std::uint32_t& imageSize() override { return m_imageSize; }
    std::span<const std::uint8_t> imageBytes() const override { return m_image->bytes; }

private:
    const std::shared_ptr<const StationImage> m_image;
    const Tell m_tell;
    DownloadContext m_context;
    std::string m_imageFile;
    std::uint32_t m_imageSize;
};

} // namespace pexo::gui
