#pragma once

namespace pexo {

class Host;
class ExtractionProgress;

// What the archiver is given as the owner window: where ArchiveNotify records the image and
// shows progress.
struct ExtractionOwner {
    Host* host = nullptr;
    ExtractionProgress* progress = nullptr; // null: no status bar
};

// The archiver's notification callback; `window` is the ExtractionOwner given to setOwner.
// A member that begins with a destination path becomes the image (its path and the length the
// archiver states); later members replace earlier ones. Always returns 1 (go on).
int ArchiveNotify(void* window, unsigned int message, unsigned int state, void* record);

} // namespace pexo
