#pragma once

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pexo::test {

// A host with an optional context, an image and a record of the messages shown.
class FakeHost : public Host {
public:
    explicit FakeHost(bool withContext = true) {
        if (withContext)
            ctx_ = std::make_unique<DownloadContext>();
    }

    DownloadContext* downloadContext() override { return ctx_.get(); }
    DownloadContext& ctx() { return *ctx_; }

    void showMessage(std::string_view text, MessageIcon icon) override {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(text);
        icons_.push_back(icon);
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<MessageIcon> icons() const {
        std::lock_guard lock(mutex_);
        return icons_;
    }

    std::string& imageFile() override { return imageFile_; }
    std::uint32_t& imageSize() override { return imageSize_; }
    std::span<const std::uint8_t> imageBytes() const override { return image; }

    std::vector<std::uint8_t> image;

private:
    std::unique_ptr<DownloadContext> ctx_;
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<MessageIcon> icons_;
    std::string imageFile_;
    std::uint32_t imageSize_ = 0;
};

} // namespace pexo::test
