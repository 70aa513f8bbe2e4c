#include "archiver/ArchiveReader.h"

#include "archiver/MemberName.h"
#include "archiver/PexoArc.h"

#include <archive.h>
#include <archive_entry.h>
#include <climits>

namespace pexo::archiver {

ArchiveReader::ArchiveReader() : archive_(archive_read_new()) {
    if (archive_)
        archive_read_support_format_lha(archive_);
}

ArchiveReader::~ArchiveReader() {
    if (archive_)
        archive_read_free(archive_);
    closeFile();
}

bool ArchiveReader::open(const std::string& path) {
    if (!archive_) {
        openError_ = "out of memory";
        return false;
    }
    return openFile(path);
}

ArchiveReader::Next ArchiveReader::next() {
    const int r = archive_read_next_header(archive_, &entry_);
    if (r == ARCHIVE_OK || r == ARCHIVE_WARN)
        return Next::Member;
    entry_ = nullptr;
    return r == ARCHIVE_EOF ? Next::End : Next::Error;
}

std::string ArchiveReader::error() const {
    if (!openError_.empty())
        return openError_;
    const char* text = archive_ ? archive_error_string(archive_) : nullptr;
    return text ? text : "unreadable archive";
}

std::optional<std::string> extractedName(archive_entry* entry) {
    if (archive_entry_filetype(entry) != AE_IFREG)
        return std::nullopt;
    std::string storage;
    const char* path = storedMemberPath(entry, storage);
    if (!path)
        return std::nullopt;
    return flatMemberName(path);
}

bool checkArchive(const std::string& path, int mode) {
    ArchiveReader reader;
    if (!reader.open(path))
        return false;
    if (mode < PEXOARC_CHECK_FULL)
        return reader.next() == ArchiveReader::Next::Member;
    while (true) {
        switch (reader.next()) {
        case ArchiveReader::Next::End:
            return true;
        case ArchiveReader::Next::Error:
            return false;
        case ArchiveReader::Next::Member:
            break;
        }
        const la_int64_t stated = archive_entry_size(reader.entry());
        la_int64_t total = 0;
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        int r;
        while ((r = archive_read_data_block(reader.handle(), &block, &size, &offset)) ==
               ARCHIVE_OK) {
            // Damaged data can decode to far more than the header states: stop at the first
            // byte too many rather than decode it all.
            if (offset != total || static_cast<la_int64_t>(size) > stated - total)
                return false;
            total += static_cast<la_int64_t>(size);
        }
        // A CRC error arrives as a warning after the data; damaged data may also decode to
        // another length than the header states.
        if (r != ARCHIVE_EOF || total != stated)
            return false;
    }
}

int countMembers(const std::string& path) {
    ArchiveReader reader;
    if (!reader.open(path))
        return -1;
    int count = 0;
    while (true) {
        switch (reader.next()) {
        case ArchiveReader::Next::End:
            return count;
        case ArchiveReader::Next::Error:
            return -1;
        case ArchiveReader::Next::Member:
            if (extractedName(reader.entry()) && count < INT_MAX)
                ++count;
            break;
        }
    }
}

} // namespace pexo::archiver
