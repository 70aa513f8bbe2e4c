#include "TestPlatform.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace pexo::test {

void* loadLibrary(const std::string& path, std::string& error) {
    const std::wstring wide =
        std::filesystem::path(
            std::u8string_view(reinterpret_cast<const char8_t*>(path.data()), path.size()))
            .wstring();
    HMODULE library = ::LoadLibraryW(wide.c_str());
    if (!library)
        error = "LoadLibraryW failed with error " + std::to_string(::GetLastError());
    return library;
}

void* librarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}

bool makeFifo(const std::filesystem::path&) {
    return false;
}

std::optional<unsigned> fileMode(const std::filesystem::path&) {
    return std::nullopt;
}

bool readsEveryFile() {
    return true;
}

bool shareWithEveryone(const std::filesystem::path& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return false;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring path = folder.wstring();
    const bool set = ::SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                                             nullptr) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    return set;
}

bool giveToAnotherUser(const std::filesystem::path&) {
    return false;
}

std::filesystem::path foreignFolder() {
    return {};
}

} // namespace pexo::test
