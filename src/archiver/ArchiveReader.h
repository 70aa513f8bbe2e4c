#pragma once

#include <optional>
#include <string>

struct archive;
struct archive_entry;

namespace pexo::archiver {

// One pass over an LHA archive with libarchive.
class ArchiveReader {
public:
    enum class Next { Member, End, Error };

    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens a regular file (a FIFO or device would block or never end); false on failure.
    bool open(const std::string& path);

    // Moves to the next member header. A header warning (a name that could not be converted)
    // still yields the member.
    Next next();
    archive_entry* entry() const { return entry_; }
    archive* handle() const { return archive_; }
    int fd() const { return fd_; }
    std::string error() const;

private:
    archive* archive_ = nullptr;
    archive_entry* entry_ = nullptr;
    int fd_ = -1;
    std::string openError_;
};

// The name a member would be written under, or nothing when extraction skips it (not a regular
// file, or no usable name).
std::optional<std::string> extractedName(archive_entry* entry);

// The archive check: the first member header reads (PEXOARC_CHECK_HEADER), or every header, data
// block and CRC reads (PEXOARC_CHECK_FULL and higher).
bool checkArchive(const std::string& path, int mode);

// The members extraction would write; -1 when the archive cannot be opened or a header is damaged.
int countMembers(const std::string& path);

} // namespace pexo::archiver
