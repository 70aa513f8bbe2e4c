#include "core/image/ModuleLoader.h"

#include "archiver/Utf16.h"

namespace pexo::module {

void* open(const std::string& path) {
    bool valid = false;
    const std::wstring wide = win::widen(path, &valid);
    if (!valid || wide.empty())
        return nullptr;
    // The module's own folder first for anything it loads, never the current folder; and no
    // "cannot find" dialog box for a missing module, which must simply leave the handle null.
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ::SetErrorMode(previous);
    return module;
}

void* symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void close(void* module) {
    ::FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace pexo::module
