#include "core/settings/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool reset() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A name beside the target that no other writer in this or another process will pick.
int createTemporary(const std::string& dir, const std::string& base, std::string& tmpPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath = dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
                  std::to_string(counter.fetch_add(1));
        // 0666 lets the umask decide for a new file, as for any file the program creates.
        const int fd =
            ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void syncFolder(const std::string& dir) {
    Fd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

FileBytes readWholeFile(const std::string& path) {
    FileBytes out;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the program.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        out.status =
            errno == ENOENT || errno == ENOTDIR ? FileReadStatus::Missing : FileReadStatus::Failed;
        return out;
    }
    out.status = FileReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileSize)
        return out;
    std::string bytes;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return out;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxSettingsFileSize)
            return out;
    }
    out.status = FileReadStatus::Read;
    out.bytes = std::move(bytes);
    return out;
}

int moveOverFile(const char* from, const char* to) {
    return ::rename(from, to);
}

bool replaceWholeFile(const std::string& path, std::string_view bytes, RenameFunction rename) {
    if (path.empty())
        return false;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved))
            return false;
        target = resolved;
    }

    bool exists = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        // A file marked read-only stays as it is, even for a superuser who could write it.
        if ((st.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
        exists = true;
    } else if (errno != ENOENT) {
        return false;
    }

    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string{} : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    std::string tmpPath;
    Fd fd(createTemporary(dir, base, tmpPath));
    if (fd.get() < 0)
        return false;

    bool ok = true;
    if (exists) {
        ok = ::fchmod(fd.get(), st.st_mode & 07777) == 0;
        if (ok && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
            // Best effort: only a privileged process may hand the file back to its owner.
            [[maybe_unused]] const int ignored = ::fchown(fd.get(), st.st_uid, st.st_gid);
        }
    }
    ok = ok && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = fd.reset() && ok;
    ok = ok && rename(tmpPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmpPath.c_str());
        return false;
    }
    syncFolder(dir);
    return true;
}

} // namespace pexo
