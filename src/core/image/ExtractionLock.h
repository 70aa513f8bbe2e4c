#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace pexo {

// One open of the lock file in the extraction folder. Every program of the user unpacks into
// the same folder and reads its image back by name, so one holds this lock from the start of
// its extraction until the image is in memory. Locks of two opens exclude each other, also
// within one process. The platform's part (ExtractionLockPosix.cpp).
class ExtractionLockFile {
public:
    enum class Attempt { Taken, HeldElsewhere, Failed };

    // Opens the lock file in `folder`, creating it, and the folder as the archiver would (missing
    // parents too, private to the user). Refuses a folder or lock file that is a symbolic link,
    // not the user's or open to others. Null, with the reason in `error`, on failure.
    static std::unique_ptr<ExtractionLockFile> open(const std::string& folder, std::string& error);

    virtual ~ExtractionLockFile() = default;

    // Takes the lock without waiting; it is held until the object is destroyed.
    virtual Attempt tryLock(std::string& error) = 0;
};

struct ExtractionLockWait {
    std::chrono::milliseconds limit{60'000};
    // A wait this short goes unmentioned.
    std::chrono::milliseconds quiet{500};
    // Asked while waiting; true gives up at once (the operator stopped the program).
    std::function<bool()> stopRequested;
};

// Takes the lock in `folder`, waiting while another program holds it: `waiting` is called once
// when that has lasted `wait.quiet`. Null, with the reason in `error`, when the lock file cannot
// be had or the lock is still held elsewhere after `wait.limit`.
std::unique_ptr<ExtractionLockFile> lockExtractionFolder(const std::string& folder,
                                                         const ExtractionLockWait& wait,
                                                         const std::function<void()>& waiting,
                                                         std::string& error);

} // namespace pexo
