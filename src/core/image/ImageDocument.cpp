#include "core/image/ImageDocument.h"

#include "core/app/Host.h"
#include "core/image/ImageMessages.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace pexo {
namespace {

std::unique_ptr<std::uint8_t[]> allocateBuffer(std::size_t size) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

} // namespace

ImageDocument::ImageDocument(Allocator allocator)
    : allocator_(allocator ? std::move(allocator) : Allocator(allocateBuffer)) {}

void ImageDocument::serialize(std::istream& in, Host& host) {
    const std::size_t length = host.imageSize();
    // The old image goes first: two large images need not fit side by side.
    buffer_.reset();
    imageLength_ = 0;
    buffer_ = allocator_(length + kZeroTail);
    if (!buffer_) {
        host.showMessage(messages::kMemoryAllocError, MessageIcon::Stop);
        loadFailed_ = true;
        return;
    }
    imageLength_ = length;
    std::memset(buffer_.get(), 0, length + kZeroTail);
    in.read(reinterpret_cast<char*>(buffer_.get()), static_cast<std::streamsize>(length));
    if (static_cast<std::size_t>(in.gcount()) < length) {
        host.showMessage(messages::kReadError, MessageIcon::Stop);
        loadFailed_ = true;
    }
}

bool ImageDocument::readImageFile(const std::string& path, Host& host) {
    std::ifstream file;
    if (!path.empty())
        // The path is UTF-8: as it is on POSIX, as UTF-16 on Windows.
        file.open(std::filesystem::path(std::u8string_view(
                      reinterpret_cast<const char8_t*>(path.data()), path.size())),
                  std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        host.showMessage(messages::kFileOpenFailed, MessageIcon::Stop);
        return false;
    }
    // Read also when the file is empty: skipping it would leave the previous image in place
    // under the new length.
    serialize(file, host);
    return true;
}

std::span<const std::uint8_t> ImageDocument::buffer() const {
    if (!buffer_)
        return {};
    return {buffer_.get(), imageLength_ + kZeroTail};
}

std::span<const std::uint8_t> ImageDocument::image() const {
    if (!buffer_)
        return {};
    return {buffer_.get(), imageLength_};
}

} // namespace pexo
