#include "core/image/ArchiveFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pexo {

std::string archiveFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path + ": " + std::generic_category().message(errno);
    if (S_ISDIR(st.st_mode))
        return path + ": is a directory";
    if (!S_ISREG(st.st_mode))
        return path + ": is not a regular file";
    // O_NONBLOCK: should the file have become a FIFO since, the open must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return path + ": cannot be read: " + std::generic_category().message(errno);
    ::close(fd);
    return {};
}

} // namespace pexo
