#pragma once

// Stand-ins for the main window, the status bar and the archiver module.

#include "core/app/Host.h"
#include "core/image/Archiver.h"
#include "core/image/ExtractionProgress.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pexo::test {

class RecordingHost : public Host {
public:
    DownloadContext* downloadContext() override { return nullptr; }
    void showMessage(std::string_view text, MessageIcon icon) override {
        messages.emplace_back(text);
        icons.push_back(icon);
    }
    std::string& imageFile() override { return file; }
    std::uint32_t& imageSize() override { return size; }
    std::span<const std::uint8_t> imageBytes() const override { return {}; }

    std::vector<std::string> messages;
    std::vector<MessageIcon> icons;
    std::string file;
    std::uint32_t size = 0;
};

// The messages without the reasons on their second lines.
inline std::vector<std::string> firstLines(const std::vector<std::string>& messages) {
    std::vector<std::string> lines;
    for (const std::string& message : messages)
        lines.push_back(message.substr(0, message.find('\n')));
    return lines;
}

// Records every call as a short line: "status TEXT", "enabled 0", "show TEXT", "show -",
// "hide", "range N", "position N".
class RecordingProgress : public ExtractionProgress {
public:
    void setStatusText(std::string_view text) override {
        calls.push_back("status " + std::string(text));
    }
    void setWindowEnabled(bool enabled) override {
        calls.push_back(enabled ? "enabled 1" : "enabled 0");
        windowEnabled = enabled;
    }
    void showProgress(std::optional<std::string_view> text, bool show) override {
        if (!show)
            calls.push_back("hide");
        else
            calls.push_back(text ? "show " + std::string(*text) : "show -");
    }
    void setProgressRange(std::uint32_t upper) override {
        calls.push_back("range " + std::to_string(upper));
    }
    void setProgressPosition(std::uint32_t position) override {
        calls.push_back("position " + std::to_string(position));
    }

    std::vector<std::string> calls;
    bool windowEnabled = true;
};

// A notification the fake archiver sends during its run.
struct FakeNotification {
    unsigned int state;
    std::uint32_t length;
    std::uint32_t written;
    std::string path;
    std::optional<unsigned int> message; // the registered number when empty
};

// Answers as configured and, in run(), sends its notifications through the owner's callback.
class FakeArchiver : public Archiver {
public:
    int busy() override {
        calls.push_back("busy");
        return busyResult;
    }
    int checkArchive(const char* path, int mode) override {
        calls.push_back("check " + std::string(path) + " " + std::to_string(mode));
        return checkResult;
    }
    int memberCount(const char* path) override {
        calls.push_back("count " + std::string(path));
        return countResult;
    }
    int setOwner(void* o, PexoArcNotify cb) override {
        calls.push_back("setOwner");
        owner = o;
        callback = cb;
        return 1;
    }
    int run(void* window, const char* line, char* output, unsigned long size) override {
        calls.push_back("run");
        runWindow = window;
        commandLine = line;
        outputSize = size;
        outputWasEmpty = size > 0 && output[0] == '\0';
        std::memcpy(output, runOutput.data(), std::min<std::size_t>(runOutput.size(), size));
        if (duringRun)
            duringRun();
        for (const auto& n : notifications) {
            std::vector<unsigned char> record(PEXOARC_RECORD_SIZE, 0);
            std::memcpy(record.data() + PEXOARC_RECORD_FULL_LENGTH, &n.length, 4);
            std::memcpy(record.data() + PEXOARC_RECORD_WRITTEN, &n.written, 4);
            std::memcpy(record.data() + PEXOARC_RECORD_PATH, n.path.data(),
                        std::min<std::size_t>(n.path.size(), PEXOARC_RECORD_PATH_CAPACITY));
            const unsigned int message =
                n.message ? *n.message : PexoArcMessageNumber(PEXOARC_EXTRACT_MESSAGE_NAME);
            replies.push_back(callback(owner, message, n.state, record.data()));
        }
        return runResult;
    }
    int clearOwner(void* o) override {
        calls.push_back("clearOwner");
        clearedOwner = o;
        return 1;
    }

    int busyResult = 0;
    int checkResult = 1;
    int countResult = 1;
    int runResult = 0;
    std::string runOutput; // copied without a terminator, as a careless module might
    std::vector<FakeNotification> notifications;

    std::vector<std::string> calls;
    void* owner = nullptr;
    void* clearedOwner = nullptr;
    PexoArcNotify callback = nullptr;
    void* runWindow = reinterpret_cast<void*>(1);
    std::string commandLine;
    unsigned long outputSize = 0;
    bool outputWasEmpty = false;
    std::vector<int> replies;
    std::function<void()> duringRun;
};

} // namespace pexo::test
