#include "core/image/ModuleLoader.h"

#include <dlfcn.h>

namespace pexo::module {

void* open(const std::string& path) {
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* symbol(void* module, const char* name) {
    return ::dlsym(module, name);
}

void close(void* module) {
    ::dlclose(module);
}

} // namespace pexo::module
