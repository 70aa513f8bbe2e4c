#include "core/station/RecordFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo {
namespace {

std::string reason(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Holds the file's lock for one write, so that a CSV header and the records of several
// programs never interleave.
class FileLock {
public:
    explicit FileLock(int fd) : fd_(fd) {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

} // namespace

struct RecordFile::State {
    int fd = -1;
};

RecordFile::RecordFile(std::unique_ptr<State> state) : state_(std::move(state)) {}

RecordFile::~RecordFile() {
    ::close(state_->fd);
}

std::unique_ptr<RecordFile> RecordFile::open(const std::string& path, std::string& why) {
    // Non-blocking, so that a FIFO in the file's place cannot hang the start.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        why = reason("cannot open it", errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = reason("cannot examine it", errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        why = "it is not a regular file";
        return nullptr;
    }
    return std::unique_ptr<RecordFile>(new RecordFile(std::make_unique<State>(State{fd})));
}

std::optional<std::string> RecordFile::append(std::string_view ifEmpty, std::string_view bytes) {
    const int fd = state_->fd;
    FileLock locked(fd);
    // Every writer appends under the lock, so the file ends here until we write.
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    std::string text;
    if (sized && before.st_size == 0)
        text = ifEmpty;
    text += bytes;
    if (text.empty())
        return std::nullopt;
    ssize_t written;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return reason("cannot write it", errno);
    if (static_cast<std::size_t>(written) != text.size()) {
        // The rest would not fit (a full disk, the file size limit).
        if (!sized || ::ftruncate(fd, before.st_size) != 0)
            (void)!::write(fd, "\n", 1);
        return "cannot write it: only " + std::to_string(written) + " of " +
               std::to_string(text.size()) + " bytes went out";
    }
    if (::fdatasync(fd) != 0)
        return reason("cannot bring it to the disk", errno);
    return std::nullopt;
}

} // namespace pexo
