// The extraction folder with POSIX calls: every file operation relative to the folder's own
// descriptor.
#include "archiver/ExtractFolder.h"
#include "archiver/PosixFolder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pexo::archiver {
namespace {

std::string describe(std::string_view what, std::string_view path, int err) {
    std::string text(what);
    text += " ";
    text += path;
    if (err != 0) {
        text += ": ";
        text += std::strerror(err);
    }
    return text;
}

// A private file beside the destination; removed unless committed.
class PosixMemberFile final : public MemberFile {
public:
    explicit PosixMemberFile(int folderFd) : folderFd_(folderFd) {}
    ~PosixMemberFile() override { discard(); }

    bool create(std::string& error) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[64];
            std::snprintf(name, sizeof name, ".pexo-%ld-%u.part", static_cast<long>(::getpid()),
                          counter.fetch_add(1, std::memory_order_relaxed));
            fd_ = ::openat(folderFd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           0600);
            if (fd_ >= 0) {
                name_ = name;
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        error = std::string("cannot create a file in the extraction folder: ") +
                std::strerror(errno);
        return false;
    }

    bool write(const void* data, std::size_t size, std::string& error) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, bytes, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = std::strerror(errno);
                return false;
            }
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool commit(const std::string& finalName, std::string& error) override {
        const bool closed = ::close(std::exchange(fd_, -1)) == 0;
        if (!closed || ::renameat(folderFd_, name_.c_str(), folderFd_, finalName.c_str()) != 0) {
            error = "cannot write " + finalName + ": " + std::strerror(errno);
            return false;
        }
        name_.clear();
        return true;
    }

    void discard() override {
        if (fd_ >= 0)
            ::close(std::exchange(fd_, -1));
        if (!name_.empty()) {
            ::unlinkat(folderFd_, name_.c_str(), 0);
            name_.clear();
        }
    }

private:
    int folderFd_;
    int fd_ = -1;
    std::string name_;
};

} // namespace

struct ExtractFolder::Native {
    explicit Native(int descriptor) : fd(descriptor) {}
    ~Native() { ::close(fd); }
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;
    int fd;
};

ExtractFolder::ExtractFolder(std::unique_ptr<Native> native, std::string prefix)
    : native_(std::move(native)), prefix_(std::move(prefix)) {}
ExtractFolder::ExtractFolder(ExtractFolder&& other) noexcept = default;
ExtractFolder& ExtractFolder::operator=(ExtractFolder&& other) noexcept = default;
ExtractFolder::~ExtractFolder() = default;

std::optional<ExtractFolder> ExtractFolder::open(std::string_view path, std::string& error) {
    const std::string folder = withoutTrailingSlashes(path);
    if (folder.empty()) {
        error = "no extraction folder";
        return std::nullopt;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = describe("cannot examine folder", folder, errno);
            return std::nullopt;
        }
        if (!posix::makePrivateFolders(folder, error))
            return std::nullopt;
    }
    // O_NOFOLLOW on the slash-free path refuses a final symbolic link, also one planted after
    // the lstat above; fstat then checks the very folder that will be written into.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ELOOP)
            error = describe("extraction folder is a symbolic link:", folder, 0);
        else
            error = describe("cannot open folder", folder, err);
        return std::nullopt;
    }
    ExtractFolder opened(std::make_unique<Native>(fd), folder == "/" ? folder : folder + "/");
    if (::fstat(fd, &st) != 0) {
        error = describe("cannot examine folder", folder, errno);
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = describe("not a folder:", folder, 0);
        return std::nullopt;
    }
    if (st.st_uid != ::geteuid()) {
        error = describe("extraction folder belongs to another user:", folder, 0);
        return std::nullopt;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = describe("extraction folder is writable by others:", folder, 0);
        return std::nullopt;
    }
    return opened;
}

// Any byte but '/' and NUL may be in a name here (flatMemberName took care of both).
bool ExtractFolder::canHold(std::string_view) {
    return true;
}

std::unique_ptr<MemberFile> ExtractFolder::createMemberFile(std::string& error) const {
    auto file = std::make_unique<PosixMemberFile>(native_->fd);
    if (!file->create(error))
        return nullptr;
    return file;
}

} // namespace pexo::archiver
