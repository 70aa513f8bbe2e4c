#include "core/station/RecordLog.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo {
namespace {

bool endsWithCsv(const std::string& path) {
    constexpr std::string_view suffix = ".csv";
    if (path.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), path.end() - suffix.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

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

RecordLog::~RecordLog() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<std::string> RecordLog::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        return "the log is already open";
    // Non-blocking, so that a FIFO in the file's place cannot hang the start.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0)
        return reason("cannot open it", errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return reason("cannot examine it", error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return "it is not a regular file";
    }
    fd_ = fd;
    path_ = path;
    format_ = endsWithCsv(path) ? Format::Csv : Format::JsonLines;
    if (format_ == Format::Csv) {
        FileLock locked(fd_);
        // Under the lock: another program may be writing the header right now.
        if (::fstat(fd_, &st) == 0 && st.st_size == 0) {
            if (auto failed = writeLocked(recordCsvHeader())) {
                ::close(fd_);
                fd_ = -1;
                return failed;
            }
        }
    }
    return std::nullopt;
}

std::string RecordLog::text(const DownloadRecord& record) const {
    return format_ == Format::Csv ? recordCsvRow(record) : recordJsonLine(record);
}

std::optional<std::string> RecordLog::append(const DownloadRecord& record) {
    const std::string bytes = text(record);
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return "the log is not open";
    FileLock locked(fd_);
    return writeLocked(bytes);
}

std::optional<std::string> RecordLog::writeLocked(const std::string& bytes) {
    // Every writer appends under the lock, so the file ends here until we write.
    struct stat before {};
    const bool sized = ::fstat(fd_, &before) == 0;
    ssize_t written;
    do {
        written = ::write(fd_, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return reason("cannot write it", errno);
    if (static_cast<std::size_t>(written) != bytes.size()) {
        // The rest would not fit (a full disk, the file size limit): take the fragment back,
        // or at least end it, so that no later record follows part of this one on its line.
        if (!sized || ::ftruncate(fd_, before.st_size) != 0)
            (void)!::write(fd_, "\n", 1);
        return "cannot write it: only " + std::to_string(written) + " of " +
               std::to_string(bytes.size()) + " bytes went out";
    }
    if (::fdatasync(fd_) != 0)
        return reason("cannot bring it to the disk", errno);
    return std::nullopt;
}

} // namespace pexo
