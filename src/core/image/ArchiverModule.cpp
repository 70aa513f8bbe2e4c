#include "core/image/ArchiverModule.h"

#include "core/app/Paths.h"
#include "core/image/ModuleLoader.h"

namespace pexo {
namespace {

template <typename Function>
bool resolve(void* handle, const char* name, Function& out) {
    out = reinterpret_cast<Function>(module::symbol(handle, name));
    return out != nullptr;
}

} // namespace

std::unique_ptr<ArchiverModule> ArchiverModule::load(const std::string& path) {
    if (path.empty())
        return nullptr;
    void* handle = module::open(path);
    if (!handle)
        return nullptr;
    Functions f{};
    const bool complete = resolve(handle, "PexoArcBusy", f.busy) &&
                          resolve(handle, "PexoArcCheckArchive", f.checkArchive) &&
                          resolve(handle, "PexoArcMemberCount", f.memberCount) &&
                          resolve(handle, "PexoArcSetOwner", f.setOwner) &&
                          resolve(handle, "PexoArcRun", f.run) &&
                          resolve(handle, "PexoArcClearOwner", f.clearOwner);
    if (!complete) {
        module::close(handle);
        return nullptr;
    }
    return std::unique_ptr<ArchiverModule>(new ArchiverModule(handle, f));
}

ArchiverModule::~ArchiverModule() {
    module::close(handle_);
}

int ArchiverModule::busy() {
    return functions_.busy();
}

int ArchiverModule::checkArchive(const char* path, int mode) {
    return functions_.checkArchive(path, mode);
}

int ArchiverModule::memberCount(const char* path) {
    return functions_.memberCount(path);
}

int ArchiverModule::setOwner(void* owner, PexoArcNotify callback) {
    return functions_.setOwner(owner, callback);
}

int ArchiverModule::run(void* window, const char* commandLine, char* output,
                        unsigned long outputSize) {
    return functions_.run(window, commandLine, output, outputSize);
}

int ArchiverModule::clearOwner(void* owner) {
    return functions_.clearOwner(owner);
}

std::unique_ptr<Archiver> loadArchiverLibrary() {
    std::string path;
    if (!ResolvePath(PathKind::ArchiverLibrary, path))
        return nullptr;
    return ArchiverModule::load(path);
}

} // namespace pexo
