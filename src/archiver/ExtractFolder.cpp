#include "archiver/ExtractFolder.h"

#include <cerrno>
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

// mkdir -p with mode 0700 for every folder it makes.
bool makeFolders(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = describe("cannot create folder", part, errno);
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

} // namespace

std::string withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

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
        if (!makeFolders(folder, error))
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
    ExtractFolder opened(fd, folder == "/" ? folder : folder + "/");
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

ExtractFolder::ExtractFolder(ExtractFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), prefix_(std::move(other.prefix_)) {}

ExtractFolder& ExtractFolder::operator=(ExtractFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        prefix_ = std::move(other.prefix_);
    }
    return *this;
}

ExtractFolder::~ExtractFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace pexo::archiver
