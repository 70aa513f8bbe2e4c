#pragma once

// The archiver module as an outside program sees it: a file to load and six names to look up.

#include "TestPlatform.h"
#include "archiver/PexoArc.h"

#include <string>
#include <type_traits>

namespace pexo::test {

struct LoadedArchiver {
    void* handle = nullptr;
    int (*busy)(void) = nullptr;
    int (*checkArchive)(const char*, int) = nullptr;
    int (*memberCount)(const char*) = nullptr;
    int (*setOwner)(void*, PexoArcNotify) = nullptr;
    int (*run)(void*, const char*, char*, unsigned long) = nullptr;
    int (*clearOwner)(void*) = nullptr;

    std::string loadError;

    explicit LoadedArchiver(const std::string& path) {
        handle = loadLibrary(path, loadError);
        if (!handle)
            return;
        const auto find = [this](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                librarySymbol(handle, name));
        };
        find(busy, "PexoArcBusy");
        find(checkArchive, "PexoArcCheckArchive");
        find(memberCount, "PexoArcMemberCount");
        find(setOwner, "PexoArcSetOwner");
        find(run, "PexoArcRun");
        find(clearOwner, "PexoArcClearOwner");
    }
    ~LoadedArchiver() {
        if (handle)
            freeLibrary(handle);
    }
    LoadedArchiver(const LoadedArchiver&) = delete;
    LoadedArchiver& operator=(const LoadedArchiver&) = delete;

    bool complete() const {
        return busy && checkArchive && memberCount && setOwner && run && clearOwner;
    }
};

} // namespace pexo::test
