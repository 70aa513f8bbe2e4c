#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pexo::gui {

// The image a station sends, a copy of its own: the main window may open another archive
// while the ports still send this one.
struct StationImage {
    std::vector<std::uint8_t> bytes; // the image, then the zero tail every download may read
    std::uint32_t length = 0;        // the length the archiver stated
    std::string imageFile;           // the extracted file
    std::string archive;             // the archive it came from, absolute
    std::string sha256;              // of the `length` bytes, lower-case hex

    std::span<const std::uint8_t> image() const;
};

// Copies `bytes` (at least `length` of them are the image; the rest is padding) and hashes
// the image. Null when there is no image.
std::shared_ptr<const StationImage> copyStationImage(std::span<const std::uint8_t> bytes,
                                                     std::uint32_t length, std::string imageFile,
                                                     std::string archive);

} // namespace pexo::gui
