#pragma once

#include "archiver/PexoArc.h"

namespace pexo {

// The six operations of the archiver module, as the open sequence uses them. ArchiverModule
// reaches the real module; tests put fakes in its place.
class Archiver {
public:
    virtual ~Archiver() = default;

    virtual int busy() = 0;                                     // 0 = idle
    virtual int checkArchive(const char* path, int mode) = 0;   // nonzero = a valid archive
    virtual int memberCount(const char* path) = 0;              // < 1 = unusable
    virtual int setOwner(void* owner, PexoArcNotify callback) = 0;
    virtual int run(void* window, const char* commandLine, char* output,
                    unsigned long outputSize) = 0;              // 0 = success
    virtual int clearOwner(void* owner) = 0;
};

} // namespace pexo
