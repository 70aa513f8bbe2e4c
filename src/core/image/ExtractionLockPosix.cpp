// The extraction lock with flock(2): held per open file description, released by the kernel
// when its holder ends however it ends, so no stale lock outlives a crashed program.
#include "archiver/PexoArc.h"
#include "archiver/PosixFolder.h"
#include "core/image/ExtractionLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace pexo {
namespace {

std::string describe(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::generic_category().message(err);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Another user who may write into the folder, or who owns the lock file, could hold the lock
// for ever or swap the image.
bool privateToUser(const struct stat& st) {
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

class PosixLockFile final : public ExtractionLockFile {
public:
    explicit PosixLockFile(int fd) : fd_(fd) {}
    ~PosixLockFile() override { ::close(fd_); }

    Attempt tryLock(std::string& error) override {
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return Attempt::HeldElsewhere;
            if (errno != EINTR) {
                error = std::string("cannot lock the extraction folder: ") +
                        std::generic_category().message(errno);
                return Attempt::Failed;
            }
        }
        return Attempt::Taken;
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<ExtractionLockFile> ExtractionLockFile::open(const std::string& folder,
                                                             std::string& error) {
    // Without trailing slashes: O_NOFOLLOW would follow a final link named "link/".
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) {
        error = "no extraction folder";
        return nullptr;
    }
    if (!posix::makePrivateFolders(path, error))
        return nullptr;
    Descriptor dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) {
        error = describe("cannot open folder", path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(dir.get(), &st) != 0 || !privateToUser(st)) {
        error = "extraction folder " + path + " is not private to this user";
        return nullptr;
    }
    // O_NONBLOCK: a FIFO planted under the name must not block the open.
    Descriptor lock(::openat(dir.get(), PEXOARC_LOCK_FILE_NAME,
                             O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    const std::string lockPath = path + "/" + PEXOARC_LOCK_FILE_NAME;
    if (lock.get() < 0) {
        error = describe("cannot open lock file", lockPath, errno);
        return nullptr;
    }
    if (::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode) || !privateToUser(st)) {
        error = "lock file " + lockPath + " is not a private file of this user";
        return nullptr;
    }
    return std::make_unique<PosixLockFile>(lock.release());
}

} // namespace pexo
