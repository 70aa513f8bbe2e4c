#pragma once

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"

#include <QObject>
#include <atomic>
#include <string>
#include <vector>

namespace pexo::gui::test {

// The main window as the download dialogs see it. Like the real one, a message asked for
// from another thread is taken on the GUI thread while the asking thread waits.
class GuiTestHost : public QObject, public Host {
    Q_OBJECT
public:
    DownloadContext* downloadContext() override { return hasContext ? &ctx : nullptr; }
    void showMessage(std::string_view text, MessageIcon icon) override;
    std::string& imageFile() override { return m_file; }
    std::uint32_t& imageSize() override { return m_size; }
    std::span<const std::uint8_t> imageBytes() const override { return image; }

    void load(std::vector<std::uint8_t> bytes);

    // GUI thread only.
    const std::vector<std::string>& messages() const { return m_messages; }

    DownloadContext ctx;
    // The port's reader thread asks for the context too.
    std::atomic<bool> hasContext{true};
    std::vector<std::uint8_t> image;

private:
    std::vector<std::string> m_messages;
    std::string m_file;
    std::uint32_t m_size = 0;
};

// A recognisable image: no two neighbouring sectors alike.
std::vector<std::uint8_t> patternImage(std::size_t length);

} // namespace pexo::gui::test
