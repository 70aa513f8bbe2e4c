#include "core/image/OpenArchive.h"

#include "core/app/Host.h"
#include "core/app/Paths.h"
#include "core/image/ArchiveNotify.h"
#include "core/image/Archiver.h"
#include "core/image/ArchiverCommand.h"
#include "core/image/ExtractionProgress.h"
#include "core/image/ImageDocument.h"
#include "core/image/ImageMessages.h"
#include "core/image/RegisteredMessage.h"

#include <array>
#include <string>

namespace pexo {
namespace {

constexpr unsigned long kOutputSize = 519;

// Steps 4 and 5 of the open. Messages for a busy archiver or an unusable archive are shown
// here; a failed run is reported by the caller.
enum class Extraction { Done, Refused, RunFailed };

Extraction extract(Archiver& archiver, const std::string& archivePath, ExtractionOwner& owner,
                   Host& host) {
    if (archiver.busy() != 0) {
        host.showMessage(messages::kArchiverFailed, MessageIcon::Stop);
        return Extraction::Refused;
    }
    if (archiver.checkArchive(archivePath.c_str(), PEXOARC_CHECK_HEADER) == 0 ||
        archiver.memberCount(archivePath.c_str()) < 1) {
        host.showMessage(messages::kFileFormatError, MessageIcon::Stop);
        return Extraction::Refused;
    }
    std::string folder;
    if (!ResolvePath(PathKind::ExtractFolder, folder))
        return Extraction::RunFailed;
    const std::string commandLine = extractCommandLine(archivePath, folder);
    std::array<char, kOutputSize> output{};
    archiver.setOwner(&owner, &ArchiveNotify);
    const int result = archiver.run(nullptr, commandLine.c_str(), output.data(), output.size());
    archiver.clearOwner(&owner);
    return result == 0 ? Extraction::Done : Extraction::RunFailed;
}

} // namespace

bool openArchive(ImageDocument& document, std::string_view archivePath,
                 const ArchiveOpenContext& context) {
    Host& host = context.host;
    ExtractionProgress* progress = context.progress;
    const std::string path(archivePath);

    host.imageFile().clear();
    document.setLoadFailed(false);
    extractNotificationMessage();
    if (progress) {
        progress->setStatusText(path);
        progress->setWindowEnabled(false);
    }

    Extraction outcome = Extraction::Done;
    if (context.archiver) {
        ExtractionOwner owner{&host, progress};
        outcome = extract(*context.archiver, path, owner, host);
    }
    if (progress)
        progress->setWindowEnabled(true);
    if (outcome == Extraction::RunFailed)
        host.showMessage(messages::kStop, MessageIcon::Stop);
    if (outcome != Extraction::Done) {
        host.imageFile().clear();
        if (progress)
            progress->setStatusText(messages::kStop);
        return false;
    }

    // Without a module no file is known, and the open of the empty path fails like any other.
    if (!document.readImageFile(host.imageFile(), host) || document.loadFailed()) {
        host.imageFile().clear();
        return false;
    }
    return true;
}

} // namespace pexo
