#include "cli/SettingsFileCheck.h"

#include "core/settings/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pexo::cli {

std::optional<std::string> unreadableBecause(const std::string& file, bool& missing) {
    const auto failed = [&missing](int error) {
        missing = error == ENOENT || error == ENOTDIR;
        return std::string("cannot be read: ") + std::generic_category().message(error);
    };
    missing = false;
    // Non-blocking, so that a FIFO in the file's place cannot hang the run.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failed(errno);
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failed(errno);
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    if (static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileSize)
        return tooLargeForSettings();
    char buffer[16384];
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(errno);
        if (n == 0)
            return std::nullopt;
        total += static_cast<std::size_t>(n);
        if (total > kMaxSettingsFileSize)
            return tooLargeForSettings();
    }
}

} // namespace pexo::cli
