#include "archiver/Extractor.h"

#include "archiver/ArchiveReader.h"
#include "archiver/ExtractFolder.h"
#include "archiver/MacBinary.h"
#include "archiver/PexoArc.h"

#include <archive.h>
#include <archive_entry.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pexo::archiver {
namespace {

using Record = std::array<unsigned char, PEXOARC_RECORD_SIZE>;

void putU32(Record& record, std::size_t offset, std::uint32_t value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A private file beside the destination; removed unless committed.
class TempFile {
public:
    explicit TempFile(int folderFd) : folderFd_(folderFd) {}
    ~TempFile() { discard(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

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

    int fd() const { return fd_; }

    bool commit(const std::string& finalName, std::string& error) {
        const bool closed = ::close(std::exchange(fd_, -1)) == 0;
        if (!closed || ::renameat(folderFd_, name_.c_str(), folderFd_, finalName.c_str()) != 0) {
            error = "cannot write " + finalName + ": " + std::strerror(errno);
            return false;
        }
        name_.clear();
        return true;
    }

    void discard() {
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

class Run {
public:
    Run(const ExtractCommand& command, const MemberNotify& notify, std::string& message)
        : command_(command), notify_(notify), message_(message) {}

    int execute() {
        std::string error;
        auto folder = ExtractFolder::open(command_.folder, error);
        if (!folder)
            return fail(PEXOARC_ERROR_FOLDER, error);
        if (!reader_.open(command_.archive))
            return fail(PEXOARC_ERROR_ARCHIVE, reader_.error());
        while (true) {
            switch (reader_.next()) {
            case ArchiveReader::Next::End:
                message_ = "extracted";
                return PEXOARC_OK;
            case ArchiveReader::Next::Error:
                return fail(PEXOARC_ERROR_ARCHIVE, reader_.error());
            case ArchiveReader::Next::Member:
                break;
            }
            // Directories, links, devices and unnamable members are skipped; the reader skips
            // their data with the next header.
            const auto name = extractedName(reader_.entry());
            if (!name)
                continue;
            if (const int r = extractMember(*folder, *name); r != PEXOARC_OK)
                return r;
        }
    }

private:
    int fail(int code, const std::string& why) {
        message_ = why;
        return code;
    }

    int extractMember(const ExtractFolder& folder, const std::string& name) {
        archive_entry* entry = reader_.entry();
        if (!archive_entry_size_is_set(entry))
            return fail(PEXOARC_ERROR_ARCHIVE, name + ": length unknown");
        const la_int64_t stated = archive_entry_size(entry);
        if (stated < 0 || stated > static_cast<la_int64_t>(UINT32_MAX))
            return fail(PEXOARC_ERROR_ARCHIVE, name + ": length out of range");
        const std::uint32_t length = static_cast<std::uint32_t>(stated);

        const std::string destination = folder.prefix() + name;
        if (destination.size() >= PEXOARC_RECORD_PATH_CAPACITY)
            return fail(PEXOARC_ERROR_FOLDER, name + ": destination path too long");
        Record record{};
        std::memcpy(record.data() + PEXOARC_RECORD_PATH, destination.data(), destination.size());

        std::string error;
        TempFile file(folder.fd());
        if (!file.create(error))
            return fail(PEXOARC_ERROR_WRITE, error);
        bool begun = false;
        // The partial file goes before the receiver hears that the member ended.
        const auto failMember = [&](int code, const std::string& why) {
            file.discard();
            if (!begun)
                return fail(code, why);
            return endMember(record, code, why);
        };

        // What is written of the member's bytes: all of them, or a Mac file's data fork alone.
        // That is only known from the first 128 bytes, so these wait before the member begins.
        const bool fromMac = length >= kMacBinaryHeaderSize && length % 128 == 0 &&
                             writtenOnMacOs(reader_.fd(), archive_read_header_position(reader_.handle()));
        std::vector<std::uint8_t> head;
        std::uint64_t skip = 0;
        std::uint32_t outputLength = length;
        std::uint32_t written = 0;
        std::uint64_t received = 0;

        const auto begin = [&]() {
            if (fromMac) {
                if (const auto data = macBinaryDataLength(head, name, length)) {
                    skip = kMacBinaryHeaderSize;
                    outputLength = *data;
                }
            }
            putU32(record, PEXOARC_RECORD_FULL_LENGTH, outputLength);
            begun = true;
            return notify_(PEXOARC_STATE_BEGIN, record.data());
        };
        // Writes the part of bytes [at, at + size) of the member that belongs to the output.
        const auto emit = [&](const std::uint8_t* bytes, std::size_t size, std::uint64_t at) {
            const std::uint64_t first = std::max<std::uint64_t>(at, skip);
            const std::uint64_t last = std::min<std::uint64_t>(at + size, skip + outputLength);
            if (first >= last)
                return true;
            if (!writeAll(file.fd(), bytes + (first - at), last - first))
                return false;
            written += static_cast<std::uint32_t>(last - first);
            return true;
        };

        if (!fromMac && !begin())
            return failMember(PEXOARC_ERROR_STOPPED, "stopped");
        while (true) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int r = archive_read_data_block(reader_.handle(), &block, &size, &offset);
            if (r == ARCHIVE_EOF)
                break;
            // Anything else than OK is a failed member: libarchive reports a CRC error of
            // stored and -lh5- data only as a warning after the last block.
            if (r != ARCHIVE_OK)
                return failMember(PEXOARC_ERROR_DATA, name + ": " + reader_.error());
            if (offset != static_cast<la_int64_t>(received) || size > length - received)
                return failMember(PEXOARC_ERROR_DATA,
                                  name + ": data longer than the stated length");
            const auto* bytes = static_cast<const std::uint8_t*>(block);
            const std::uint64_t at = received;
            received += size;
            const std::uint32_t before = written;
            bool ok;
            if (begun) {
                ok = emit(bytes, size, at);
            } else {
                head.insert(head.end(), bytes, bytes + size);
                if (head.size() < kMacBinaryHeaderSize)
                    continue;
                if (!begin())
                    return failMember(PEXOARC_ERROR_STOPPED, "stopped");
                ok = emit(head.data(), head.size(), 0);
                head = {};
            }
            if (!ok)
                return failMember(PEXOARC_ERROR_WRITE,
                                  "cannot write " + destination + ": " + std::strerror(errno));
            putU32(record, PEXOARC_RECORD_WRITTEN, written);
            if (written != before && !notify_(PEXOARC_STATE_WRITE, record.data()))
                return failMember(PEXOARC_ERROR_STOPPED, "stopped");
        }
        if (received != length)
            return failMember(PEXOARC_ERROR_DATA,
                              name + ": data shorter than the stated length");
        // Only a member too short to be MacBinary can end before it began.
        if (!begun && (!begin() || !emit(head.data(), head.size(), 0)))
            return failMember(PEXOARC_ERROR_STOPPED, "stopped");
        if (!file.commit(name, error))
            return failMember(PEXOARC_ERROR_WRITE, error);
        return endMember(record, PEXOARC_OK, {});
    }

    // Every member that began also ends, so that the receiver can take its display down.
    int endMember(Record& record, int code, const std::string& why) {
        const bool goOn = notify_(PEXOARC_STATE_END, record.data());
        if (code != PEXOARC_OK)
            return fail(code, why);
        return goOn ? PEXOARC_OK : fail(PEXOARC_ERROR_STOPPED, "stopped");
    }

    const ExtractCommand& command_;
    const MemberNotify& notify_;
    std::string& message_;
    ArchiveReader reader_;
};

} // namespace

int extractArchive(const ExtractCommand& command, const MemberNotify& notify,
                   std::string& message) {
    return Run(command, notify, message).execute();
}

} // namespace pexo::archiver
