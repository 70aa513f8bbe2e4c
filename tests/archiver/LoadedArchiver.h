#pragma once

// The archiver module as an outside program sees it: a file to dlopen and six names to look up.

#include "archiver/PexoArc.h"

#include <dlfcn.h>
#include <string>

namespace pexo::test {

struct LoadedArchiver {
    void* handle = nullptr;
    int (*busy)(void) = nullptr;
    int (*checkArchive)(const char*, int) = nullptr;
    int (*memberCount)(const char*) = nullptr;
    int (*setOwner)(void*, PexoArcNotify) = nullptr;
    int (*run)(void*, const char*, char*, unsigned long) = nullptr;
    int (*clearOwner)(void*) = nullptr;

    explicit LoadedArchiver(const std::string& path) {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        busy = reinterpret_cast<decltype(busy)>(::dlsym(handle, "PexoArcBusy"));
        checkArchive = reinterpret_cast<decltype(checkArchive)>(::dlsym(handle, "PexoArcCheckArchive"));
        memberCount = reinterpret_cast<decltype(memberCount)>(::dlsym(handle, "PexoArcMemberCount"));
        setOwner = reinterpret_cast<decltype(setOwner)>(::dlsym(handle, "PexoArcSetOwner"));
        run = reinterpret_cast<decltype(run)>(::dlsym(handle, "PexoArcRun"));
        clearOwner = reinterpret_cast<decltype(clearOwner)>(::dlsym(handle, "PexoArcClearOwner"));
    }
    ~LoadedArchiver() {
        if (handle)
            ::dlclose(handle);
    }
    LoadedArchiver(const LoadedArchiver&) = delete;
    LoadedArchiver& operator=(const LoadedArchiver&) = delete;

    bool complete() const {
        return busy && checkArchive && memberCount && setOwner && run && clearOwner;
    }
};

} // namespace pexo::test
