#pragma once

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
};

// Opens an archive as the image: unpacks it with the archiver into the extraction folder (the
// last member to begin is the image, with the length the archiver states), then reads that file
// into `document`. Every failure has been reported to the host when this returns false, and the
// host's image file is then empty.
bool openArchive(ImageDocument& document, std::string_view archivePath,
                 const ArchiveOpenContext& context);

} // namespace pexo
