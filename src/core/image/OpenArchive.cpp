#include "core/image/OpenArchive.h"

#include "core/app/Host.h"
#include "core/app/Paths.h"
#include "core/image/ArchiveFile.h"
#include "core/image/ArchiveNotify.h"
#include "core/image/Archiver.h"
#include "core/image/ArchiverCommand.h"
#include "core/image/ExtractionProgress.h"
#include "core/image/ImageDocument.h"
#include "core/image/ImageMessages.h"
#include "core/image/RegisteredMessage.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pexo {
namespace {

constexpr unsigned long kOutputSize = 519;

std::string withReason(const char* message, const std::string& reason) {
    return std::string(message) + "\n" + reason;
}

// Why the archiver's quick checks refused the archive; empty when they passed.
std::string archiveProblem(Archiver& archiver, const std::string& archivePath) {
    std::string problem = archiveFileProblem(archivePath);
    if (!problem.empty())
        return problem;
    if (archiver.checkArchive(archivePath.c_str(), PEXOARC_CHECK_HEADER) == 0)
        return archivePath + ": not an LHA archive";
    const int members = archiver.memberCount(archivePath.c_str());
    if (members < 1)
        return archivePath + (members == 0 ? ": holds no file to unpack" : ": damaged archive");
    return {};
}

// Steps 4 and 5 of the open. Messages for a busy archiver or an unusable archive are shown
// here; a failed run is reported by the caller, with `failure` as its reason. On success `lock`
// holds the extraction lock.
enum class Extraction { Done, Refused, RunFailed };

Extraction extract(Archiver& archiver, const std::string& archivePath,
                   const ArchiveOpenContext& context, ExtractionOwner& owner,
                   std::unique_ptr<ExtractionLockFile>& lock, std::string& failure) {
    Host& host = context.host;
    if (archiver.busy() != 0) {
        host.showMessage(withReason(messages::kArchiverFailed, "another archive is being unpacked"),
                         MessageIcon::Stop);
        return Extraction::Refused;
    }
    if (const std::string problem = archiveProblem(archiver, archivePath); !problem.empty()) {
        host.showMessage(withReason(messages::kFileFormatError, problem), MessageIcon::Stop);
        return Extraction::Refused;
    }
    std::string folder;
    if (!ResolvePath(PathKind::ExtractFolder, folder)) {
        failure = "no extraction folder: the user's cache folder is unknown";
        return Extraction::RunFailed;
    }
    ExtractionProgress* progress = context.progress;
    const auto waiting = [progress] {
        if (progress)
            progress->notice(messages::kWaitingForExtraction);
    };
    lock = lockExtractionFolder(folder, context.lockWait, waiting, failure);
    if (!lock)
        return Extraction::RunFailed;

    const std::string commandLine = extractCommandLine(archivePath, folder);
    std::array<char, kOutputSize> output{};
    archiver.setOwner(&owner, &ArchiveNotify);
    const int result = archiver.run(nullptr, commandLine.c_str(), output.data(), output.size());
    archiver.clearOwner(&owner);
    if (result == 0)
        return Extraction::Done;
    // The module's own account; read within the buffer, as nothing makes a module end it.
    failure.assign(output.data(), ::strnlen(output.data(), output.size()));
    if (failure.empty())
        failure = "the archiver stopped with code " + std::to_string(result);
    return Extraction::RunFailed;
}

// The host as the image read sees it, with its messages held back: a message box waits for the
// operator, and other programs must not wait that long for the extraction lock.
class HeldMessages final : public Host {
public:
    explicit HeldMessages(Host& host) : host_(host) {}

    DownloadContext* downloadContext() override { return host_.downloadContext(); }
    void showMessage(std::string_view text, MessageIcon icon) override {
        held_.emplace_back(std::string(text), icon);
    }
    std::string& imageFile() override { return host_.imageFile(); }
    std::uint32_t& imageSize() override { return host_.imageSize(); }
    std::span<const std::uint8_t> imageBytes() const override { return host_.imageBytes(); }

    void release() {
        for (const auto& [text, icon] : std::exchange(held_, {}))
            host_.showMessage(text, icon);
    }

private:
    Host& host_;
    std::vector<std::pair<std::string, MessageIcon>> held_;
};

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

    std::unique_ptr<ExtractionLockFile> lock;
    std::string failure;
    Extraction outcome = Extraction::Done;
    if (context.archiver) {
        ExtractionOwner owner{&host, progress};
        outcome = extract(*context.archiver, path, context, owner, lock, failure);
    }
    if (progress)
        progress->setWindowEnabled(true);
    if (outcome != Extraction::Done) {
        lock.reset();
        if (outcome == Extraction::RunFailed)
            host.showMessage(withReason(messages::kStop, failure), MessageIcon::Stop);
        host.imageFile().clear();
        if (progress)
            progress->setStatusText(messages::kStop);
        return false;
    }

    // Without a module no file is known, and the open of the empty path fails like any other.
    HeldMessages held(host);
    const bool read = document.readImageFile(host.imageFile(), held) && !document.loadFailed();
    lock.reset();
    held.release();
    if (!read) {
        host.imageFile().clear();
        return false;
    }
    return true;
}

} // namespace pexo
