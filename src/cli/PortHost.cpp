#include "cli/PortHost.h"

#include "cli/Console.h"

namespace pexo::cli {

PortHost::PortHost(Console& console, std::string messagePrefix)
    : console_(console), prefix_(std::move(messagePrefix)) {}

void PortHost::showMessage(std::string_view text, MessageIcon) {
    console_.message(prefix_ + std::string(text));
}

void PortHost::setImage(std::span<const std::uint8_t> bytes, std::uint32_t size,
                        const std::string& file) {
    image_ = bytes;
    imageSize_ = size;
    imageFile_ = file;
}

} // namespace pexo::cli
