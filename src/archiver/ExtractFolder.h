#pragma once

#include <optional>
#include <string>

namespace pexo::archiver {

// The folder members are written into, held open so that later writes cannot be redirected by
// swapping the folder for a link after it was checked.
class ExtractFolder {
public:
    // Opens `path`, creating it (with missing parents) as 0700 when it does not exist. Refuses a
    // symbolic link, a non-directory, a folder of another user and one that others may write
    // into (they could swap the image between extraction and reading). On failure returns
    // nothing and explains why in `error`.
    static std::optional<ExtractFolder> open(std::string_view path, std::string& error);

    ExtractFolder(ExtractFolder&& other) noexcept;
    ExtractFolder& operator=(ExtractFolder&& other) noexcept;
    ExtractFolder(const ExtractFolder&) = delete;
    ExtractFolder& operator=(const ExtractFolder&) = delete;
    ~ExtractFolder();

    int fd() const { return fd_; }
    // The folder as given, ending in exactly one '/': the prefix of every destination path.
    const std::string& prefix() const { return prefix_; }

private:
    ExtractFolder(int fd, std::string prefix) : fd_(fd), prefix_(std::move(prefix)) {}

    int fd_ = -1;
    std::string prefix_;
};

// `path` without trailing slashes ("/" stays "/"). lstat() and O_NOFOLLOW follow a final symbolic
// link when the path ends in a slash, so checks must be made on this form.
std::string withoutTrailingSlashes(std::string_view path);

} // namespace pexo::archiver
