#include "archiver/Extractor.h"

#include "archiver/ArchiveReader.h"
#include "archiver/ExtractFolder.h"
#include "archiver/MacBinary.h"
#include "archiver/PexoArc.h"

#include <archive.h>
#include <archive_entry.h>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace pexo::archiver {
namespace {

using Record = std::array<unsigned char, PEXOARC_RECORD_SIZE>;

void putU32(Record& record, std::size_t offset, std::uint32_t value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
}

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
        const std::unique_ptr<MemberFile> file = folder.createMemberFile(error);
        if (!file)
            return fail(PEXOARC_ERROR_WRITE, error);
        bool begun = false;
        // The partial file goes before the receiver hears that the member ended.
        const auto failMember = [&](int code, const std::string& why) {
            file->discard();
            if (!begun)
                return fail(code, why);
            return endMember(record, code, why);
        };

        // What is written of the member's bytes: all of them, or a Mac file's data fork alone.
        // That is only known from the first 128 bytes, so these wait before the member begins.
        const bool fromMac =
            length >= kMacBinaryHeaderSize && length % 128 == 0 && headerFromMacOs();
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
            if (!file->write(bytes + (first - at), last - first, error))
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
                return failMember(PEXOARC_ERROR_WRITE, "cannot write " + destination + ": " + error);
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
        if (!file->commit(name, error))
            return failMember(PEXOARC_ERROR_WRITE, error);
        return endMember(record, PEXOARC_OK, {});
    }

    bool headerFromMacOs() const {
        std::array<std::uint8_t, kMemberHeaderPeek> header{};
        const auto n = reader_.readAt(archive_read_header_position(reader_.handle()),
                                      header.data(), header.size());
        return n > 0 && writtenOnMacOs({header.data(), static_cast<std::size_t>(n)});
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
