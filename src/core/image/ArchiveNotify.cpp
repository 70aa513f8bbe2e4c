#include "core/image/ArchiveNotify.h"

#include "archiver/PexoArc.h"
#include "core/app/Host.h"
#include "core/image/ExtractionProgress.h"
#include "core/image/RegisteredMessage.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace pexo {
namespace {

std::uint32_t readU32(const unsigned char* record, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

} // namespace

int ArchiveNotify(void* window, unsigned int message, unsigned int state, void* record) {
    if (message != extractNotificationMessage() || !window || !record)
        return 1;
    auto* owner = static_cast<ExtractionOwner*>(window);
    const auto* bytes = static_cast<const unsigned char*>(record);
    ExtractionProgress* progress = owner->progress;
    try {
        switch (state) {
        case PEXOARC_STATE_BEGIN: {
            // Bounded: a record without a terminator must not be read past its end.
            const char* pathStart = reinterpret_cast<const char*>(bytes + PEXOARC_RECORD_PATH);
            const std::string_view path(pathStart,
                                        ::strnlen(pathStart, PEXOARC_RECORD_PATH_CAPACITY - 1));
            if (path.empty())
                return 1;
            const std::uint32_t length = readU32(bytes, PEXOARC_RECORD_FULL_LENGTH);
            if (owner->host) {
                owner->host->imageFile().assign(path);
                owner->host->imageSize() = length;
            }
            if (progress) {
                progress->showProgress(path, true);
                progress->setProgressRange(length / 100);
            }
            break;
        }
        case PEXOARC_STATE_WRITE:
            if (progress)
                progress->setProgressPosition(readU32(bytes, PEXOARC_RECORD_WRITTEN) / 100);
            break;
        case PEXOARC_STATE_END:
            if (progress)
                progress->showProgress(std::nullopt, false);
            break;
        default:
            break;
        }
    } catch (...) {
        // Nothing may escape into the archiver; a path that could not be stored is seen as no
        // image by the open.
        if (owner->host)
            owner->host->imageFile().clear();
    }
    return 1;
}

} // namespace pexo
