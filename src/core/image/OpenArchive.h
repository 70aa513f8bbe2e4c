#pragma once

#include "core/image/ExtractionLock.h"

#include <string_view>

namespace pexo {

class Archiver;
class ExtractionProgress;
class Host;
class ImageDocument;

struct ArchiveOpenContext {
    Host& host;
    Archiver* archiver = nullptr;           // null: the module was not loaded at start
    ExtractionProgress* progress = nullptr; // null: nothing shows progress
    // How long to wait for another program that is unpacking into the extraction folder.
    ExtractionLockWait lockWait{};
};

// Opens an archive as the image: unpacks it with the archiver into the extraction folder (the
// last member to begin is the image, with the length the archiver states), then reads that file
// into `document`. Holds the extraction lock from the run until the image is in memory, so
// that another program's member of the same name cannot take its place. Every failure has been
// reported to the host when this returns false (the archiver's, the archive's and the run's with
// the reason on a second line), and the host's image file is then empty.
bool openArchive(ImageDocument& document, std::string_view archivePath,
                 const ArchiveOpenContext& context);

} // namespace pexo
