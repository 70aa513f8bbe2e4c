// Opening the archive file with POSIX calls.
#include "archiver/ArchiveReader.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo::archiver {

bool ArchiveReader::openFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        openError_ = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        openError_ = path + ": not a regular file";
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return archive_read_open_fd(archive_, fd_, 64 * 1024) == ARCHIVE_OK;
}

void ArchiveReader::closeFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::ptrdiff_t ArchiveReader::readAt(std::int64_t offset, void* buffer, std::size_t size) const {
    return ::pread(fd_, buffer, size, offset);
}

// The bytes as stored: names are file names as they are on this system.
const char* storedMemberPath(archive_entry* entry, std::string& /*storage*/) {
    return archive_entry_pathname(entry);
}

} // namespace pexo::archiver
