// The six operations the module exports; everything else in it is hidden.
#include "archiver/ArchiveReader.h"
#include "archiver/CommandLine.h"
#include "archiver/Extractor.h"
#include "archiver/PexoArc.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

// Windows builds name the exports in exports.def and define this as nothing.
#ifndef PEXOARC_EXPORT
#define PEXOARC_EXPORT __attribute__((visibility("default")))
#endif

namespace {

std::atomic<bool> running{false};

std::mutex ownerMutex;
void* currentOwner = nullptr;
PexoArcNotify currentCallback = nullptr;

void copyOutput(const std::string& text, char* output, unsigned long outputSize) {
    if (!output || outputSize == 0)
        return;
    const std::size_t n = std::min<std::size_t>(text.size(), outputSize - 1);
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

// Clears the busy flag however the run ends.
struct RunningGuard {
    ~RunningGuard() { running.store(false, std::memory_order_release); }
};

} // namespace

extern "C" {

PEXOARC_EXPORT int PexoArcBusy(void) {
    return running.load(std::memory_order_acquire) ? 1 : 0;
}

PEXOARC_EXPORT int PexoArcCheckArchive(const char* path, int mode) {
    if (!path)
        return 0;
    try {
        return pexo::archiver::checkArchive(path, mode) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

PEXOARC_EXPORT int PexoArcMemberCount(const char* path) {
    if (!path)
        return -1;
    try {
        return pexo::archiver::countMembers(path);
    } catch (...) {
        return -1;
    }
}

PEXOARC_EXPORT int PexoArcSetOwner(void* owner, PexoArcNotify callback) {
    std::lock_guard lock(ownerMutex);
    currentOwner = owner;
    currentCallback = callback;
    return 1;
}

PEXOARC_EXPORT int PexoArcClearOwner(void* owner) {
    std::lock_guard lock(ownerMutex);
    if (owner != currentOwner)
        return 0;
    currentOwner = nullptr;
    currentCallback = nullptr;
    return 1;
}

PEXOARC_EXPORT int PexoArcRun(void* /*window*/, const char* commandLine, char* output,
                              unsigned long outputSize) {
    copyOutput({}, output, outputSize);
    bool idle = false;
    if (!running.compare_exchange_strong(idle, true, std::memory_order_acq_rel)) {
        copyOutput("another extraction is running", output, outputSize);
        return PEXOARC_ERROR_BUSY;
    }
    RunningGuard guard;
    try {
        void* owner;
        PexoArcNotify callback;
        {
            std::lock_guard lock(ownerMutex);
            owner = currentOwner;
            callback = currentCallback;
        }
        const auto command = commandLine ? pexo::archiver::parseCommandLine(commandLine)
                                         : std::nullopt;
        if (!command) {
            copyOutput("usage: e [-nyc] ARCHIVE FOLDER/", output, outputSize);
            return PEXOARC_ERROR_COMMAND;
        }
        const unsigned int message = PexoArcMessageNumber(PEXOARC_EXTRACT_MESSAGE_NAME);
        const pexo::archiver::MemberNotify notify = [&](unsigned int state, void* record) {
            return !callback || callback(owner, message, state, record) != 0;
        };
        std::string text;
        const int result = pexo::archiver::extractArchive(*command, notify, text);
        copyOutput(text, output, outputSize);
        return result;
    } catch (...) {
        copyOutput("out of memory", output, outputSize);
        return PEXOARC_ERROR_WRITE;
    }
}

} // extern "C"
