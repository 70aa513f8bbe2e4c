#include "core/image/ExtractionLock.h"

#include <algorithm>
#include <thread>

namespace pexo {

std::unique_ptr<ExtractionLockFile> lockExtractionFolder(const std::string& folder,
                                                         const ExtractionLockWait& wait,
                                                         const std::function<void()>& waiting,
                                                         std::string& error) {
    using Clock = std::chrono::steady_clock;
    // Not every platform can wait for a file lock with a time limit; trying again at a short
    // period can.
    constexpr auto kRetry = std::chrono::milliseconds(20);

    auto lock = ExtractionLockFile::open(folder, error);
    if (!lock)
        return nullptr;
    const auto start = Clock::now();
    bool announced = false;
    while (true) {
        switch (lock->tryLock(error)) {
        case ExtractionLockFile::Attempt::Taken:
            return lock;
        case ExtractionLockFile::Attempt::Failed:
            return nullptr;
        case ExtractionLockFile::Attempt::HeldElsewhere:
            break;
        }
        if (wait.stopRequested && wait.stopRequested()) {
            error = "stopped while another program was unpacking";
            return nullptr;
        }
        const auto waited = Clock::now() - start;
        if (waited >= wait.limit) {
            error = "another program is still unpacking into " + folder + " (waited " +
                    std::to_string(std::chrono::ceil<std::chrono::seconds>(wait.limit).count()) +
                    " s)";
            return nullptr;
        }
        if (!announced && waited >= wait.quiet) {
            announced = true;
            if (waiting)
                waiting();
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kRetry, wait.limit - waited));
    }
}

} // namespace pexo
