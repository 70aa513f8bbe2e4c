#pragma once

#include <cstddef>
#include <cstdint>
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
    std::string error() const;

    // Up to `size` bytes of the archive file from `offset`, without moving the position
    // libarchive reads from; the count read, or -1.
    std::ptrdiff_t readAt(std::int64_t offset, void* buffer, std::size_t size) const;

private:
    // The platform's part (ArchiveReaderPosix.cpp, ArchiveReaderWindows.cpp): opens `path` as
    // the C runtime descriptor fd_ and hands it to libarchive, or explains in openError_.
    bool openFile(const std::string& path);
    void closeFile();

    archive* archive_ = nullptr;
    archive_entry* entry_ = nullptr;
    int fd_ = -1;
    std::string openError_;
};

// The member's stored path as UTF-8 where the platform's file names need it (the platform's
// part); null when it has none or it cannot be converted.
const char* storedMemberPath(archive_entry* entry, std::string& storage);

// The name a member would be written under, or nothing when extraction skips it (not a regular
// file, or no usable name).
std::optional<std::string> extractedName(archive_entry* entry);

// The archive check: the first member header reads (PEXOARC_CHECK_HEADER), or every header, data
// block and CRC reads (PEXOARC_CHECK_FULL and higher).
bool checkArchive(const std::string& path, int mode);

// The members extraction would write; -1 when the archive cannot be opened or a header is damaged.
int countMembers(const std::string& path);

} // namespace pexo::archiver
