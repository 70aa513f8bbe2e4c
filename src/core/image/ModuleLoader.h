#pragma once

#include <string>

namespace pexo::module {

// Loading a shared library at run time: the platform's part (ModuleLoaderPosix.cpp,
// ModuleLoaderWindows.cpp). A module is an opaque handle; null when it cannot be loaded.
void* open(const std::string& path);
// The address of an exported function, or null.
void* symbol(void* module, const char* name);
void close(void* module);

} // namespace pexo::module
