#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pexo::archiver {

// A member on its way into the folder: a private temporary file that takes the member's name
// only when committed, so a member that fails half-way never leaves a file that passes for it.
// Destroying an uncommitted one removes it.
class MemberFile {
public:
    virtual ~MemberFile() = default;
    // False with the reason in `error`.
    virtual bool write(const void* data, std::size_t size, std::string& error) = 0;
    // Renames the file to `name` in the folder, replacing a file (or link) already there.
    virtual bool commit(const std::string& name, std::string& error) = 0;
    virtual void discard() = 0;
};

// The folder members are written into, held open so that later writes cannot be redirected by
// swapping the folder for a link after it was checked. The platform's part is
// ExtractFolderPosix.cpp or ExtractFolderWindows.cpp.
class ExtractFolder {
public:
    // Opens `path`, creating it (with missing parents) private to the user when it does not
    // exist. Refuses a link, a non-directory, a folder of another user and one that others may
    // write into (they could swap the image between extraction and reading). On failure returns
    // nothing and explains why in `error`.
    static std::optional<ExtractFolder> open(std::string_view path, std::string& error);

    // Whether a file of this name can be made in the folder as the name says, so that the
    // destination reported for a member is the file written (the name has no separators).
    static bool canHold(std::string_view name);

    ExtractFolder(ExtractFolder&& other) noexcept;
    ExtractFolder& operator=(ExtractFolder&& other) noexcept;
    ExtractFolder(const ExtractFolder&) = delete;
    ExtractFolder& operator=(const ExtractFolder&) = delete;
    ~ExtractFolder();

    // The folder as given, ending in exactly one separator: the prefix of every destination.
    const std::string& prefix() const { return prefix_; }

    std::unique_ptr<MemberFile> createMemberFile(std::string& error) const;

private:
    struct Native;
    ExtractFolder(std::unique_ptr<Native> native, std::string prefix);

    std::unique_ptr<Native> native_;
    std::string prefix_;
};

// `path` without trailing slashes ("/" stays "/"). lstat() and O_NOFOLLOW follow a final symbolic
// link when the path ends in a slash, so checks must be made on this form.
std::string withoutTrailingSlashes(std::string_view path);

} // namespace pexo::archiver
