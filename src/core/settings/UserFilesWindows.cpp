#include "core/app/Utf16.h"
#include "core/settings/StationSettings.h"
#include "core/settings/UserFiles.h"

#include <atomic>
#include <windows.h>

// After windows.h, which it needs.
#include <shlobj.h>

namespace pexo {
namespace {

std::string knownFolder(REFKNOWNFOLDERID id, const wchar_t* variable) {
    PWSTR path = nullptr;
    std::optional<std::string> folder;
    if (::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path) == S_OK)
        folder = toUtf8(path);
    ::CoTaskMemFree(path);
    if (folder && !folder->empty())
        return *folder;
    // Without the shell's answer, the variable Windows sets for the same folder.
    wchar_t value[32768];
    const DWORD length = ::GetEnvironmentVariableW(variable, value, 32768);
    if (length == 0 || length >= 32768)
        return {};
    return toUtf8(std::wstring_view(value, length)).value_or(std::string{});
}

} // namespace

const std::string_view kUserSettingsFile = "\\Pexo\\PexoUDef.INI";

std::string userConfigFolder() {
    return knownFolder(FOLDERID_RoamingAppData, L"APPDATA");
}

// Records stay on this machine: they grow, and a roaming profile would carry them around.
std::string defaultRecordFile() {
    const std::string folder = knownFolder(FOLDERID_LocalAppData, L"LOCALAPPDATA");
    return folder.empty() ? folder : folder + "\\Pexo\\records.jsonl";
}

// By trying, not by the attributes: access rights decide, and they are not in the attributes.
bool mayWrite(const std::string& path) {
    const auto wide = toUtf16(path);
    if (!wide || wide->empty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return false;
        const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(file);
        return true;
    }
    // A probe file that goes away when closed, under a name no other process picks.
    static std::atomic<unsigned> counter{0};
    std::wstring probe = *wide;
    if (probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += L".pexo-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter.fetch_add(1));
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

bool pathExists(const std::string& path) {
    const auto wide = toUtf16(path);
    return wide && !wide->empty() && ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The new folders inherit the access rights of the user's profile folder above them.
bool makePrivateFolders(const std::string& folder) {
    const auto wide = toUtf16(folder);
    if (!wide || wide->empty())
        return false;
    const int result = ::SHCreateDirectoryExW(nullptr, wide->c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace pexo
