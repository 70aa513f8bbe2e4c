#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pexo {

struct DownloadContext;

enum class MessageIcon { Stop, Exclamation, Information };

// What the serial, protocol and image code need of "the main window". The GUI's main
// window, the command-line front end and the test fixtures implement it.
class Host {
public:
    virtual ~Host() = default;

    // The download context, or null when it could not be made.
    virtual DownloadContext* downloadContext() = 0;

    // Shows a message to the operator and returns once it has been acknowledged.
    // May be called from any thread.
    virtual void showMessage(std::string_view text, MessageIcon icon) = 0;

    // Path and length of the extracted image, as the archiver reported them.
    virtual std::string& imageFile() = 0;
    virtual std::uint32_t& imageSize() = 0;

    // The loaded image bytes (byte n is device address n); empty when no image is loaded.
    virtual std::span<const std::uint8_t> imageBytes() const = 0;
};

} // namespace pexo
