#include "gui/station/StationImage.h"

#include "core/image/ImageDocument.h"
#include "core/station/ImageDigest.h"

#include <algorithm>

namespace pexo::gui {

std::span<const std::uint8_t> StationImage::image() const {
    return std::span<const std::uint8_t>(bytes).first(std::min<std::size_t>(length, bytes.size()));
}

std::shared_ptr<const StationImage> copyStationImage(std::span<const std::uint8_t> bytes,
                                                     std::uint32_t length, std::string imageFile,
                                                     std::string archive) {
    if (imageFile.empty() || bytes.empty())
        return nullptr;
    auto image = std::make_shared<StationImage>();
    const std::size_t kept = std::min<std::size_t>(bytes.size(), length);
    image->bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    image->bytes.resize(std::size_t{length} + ImageDocument::kZeroTail, 0);
    image->length = length;
    image->imageFile = std::move(imageFile);
    image->archive = std::move(archive);
    image->sha256 = sha256Hex(image->image());
    return image;
}

} // namespace pexo::gui
