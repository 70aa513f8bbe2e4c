#include "cli/PortHost.h"

#include "cli/Console.h"

#include <algorithm>

namespace pexo::cli {

PortHost::PortHost(Console& console, std::string messagePrefix)
    : console_(console), prefix_(std::move(messagePrefix)) {}

void PortHost::showMessage(std::string_view text, MessageIcon) {
    // Every line carries the port's name: several ports report at once.
    std::string lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines += (start == 0 ? "" : "\n") + prefix_ + std::string(text.substr(start, end - start));
        start = end + 1;
    }
    console_.message(lines);
}

void PortHost::setImage(std::span<const std::uint8_t> bytes, std::uint32_t size,
                        const std::string& file) {
    image_ = bytes;
    imageSize_ = size;
    imageFile_ = file;
}

} // namespace pexo::cli
