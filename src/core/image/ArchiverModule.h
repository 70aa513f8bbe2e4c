#pragma once

#include "core/image/Archiver.h"

#include <memory>
#include <string>

namespace pexo {

// The archiver module loaded at run time and reached through its six exported names only.
class ArchiverModule final : public Archiver {
public:
    // Null when the file is missing, cannot be loaded or lacks one of the six operations.
    static std::unique_ptr<ArchiverModule> load(const std::string& path);

    ~ArchiverModule() override;
    ArchiverModule(const ArchiverModule&) = delete;
    ArchiverModule& operator=(const ArchiverModule&) = delete;

    int busy() override;
    int checkArchive(const char* path, int mode) override;
    int memberCount(const char* path) override;
    int setOwner(void* owner, PexoArcNotify callback) override;
    int run(void* window, const char* commandLine, char* output,
            unsigned long outputSize) override;
    int clearOwner(void* owner) override;

private:
    struct Functions {
        int (*busy)(void);
        int (*checkArchive)(const char*, int);
        int (*memberCount)(const char*);
        int (*setOwner)(void*, PexoArcNotify);
        int (*run)(void*, const char*, char*, unsigned long);
        int (*clearOwner)(void*);
    };

    ArchiverModule(void* handle, const Functions& functions)
        : handle_(handle), functions_(functions) {}

    void* handle_;
    Functions functions_;
};

// Start-up: the module from the program's "DLL" folder (ResolvePath(ArchiverLibrary)), or null,
// silently, when the path cannot be resolved or the module not loaded. Destroying the result
// at exit unloads the module.
std::unique_ptr<Archiver> loadArchiverLibrary();

} // namespace pexo
