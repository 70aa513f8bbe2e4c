#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <span>
#include <string>

namespace pexo {

class Host;

// The image to be sent: one buffer whose byte n is the byte for device address n, followed by
// 1024 zero bytes. The GUI's document and the command line each hold one.
class ImageDocument {
public:
    // Hands out the buffer; returns null when the memory cannot be had.
    using Allocator = std::function<std::unique_ptr<std::uint8_t[]>(std::size_t size)>;

    static constexpr std::size_t kZeroTail = 1024;

    explicit ImageDocument(Allocator allocator = {});

    // Reads the image: host.imageSize() bytes (the length the archiver stated) from `in` into a
    // new zeroed buffer of that length + 1024, replacing the previous one. "memory alloc error"
    // (no buffer is left) or "Read error" (the bytes read stay) go to the host and set the
    // load-failed flag. Bytes past the stated length are not read.
    void serialize(std::istream& in, Host& host);

    // Opens the extracted file and reads it as serialize() does. False, after the host was
    // told, when the file cannot be opened.
    bool readImageFile(const std::string& path, Host& host);

    bool loadFailed() const { return loadFailed_; }
    void setLoadFailed(bool failed) { loadFailed_ = failed; }

    // The whole buffer (image + 1024 zero bytes); empty before the first image.
    std::span<const std::uint8_t> buffer() const;
    // The image bytes alone, as long as the length the buffer was made for.
    std::span<const std::uint8_t> image() const;
    bool hasBuffer() const { return buffer_ != nullptr; }

private:
    Allocator allocator_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t imageLength_ = 0;
    bool loadFailed_ = false;
};

} // namespace pexo
