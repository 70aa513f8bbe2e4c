#include "cli/SettingsFileCheck.h"

#include "core/app/Utf16.h"
#include "core/settings/AtomicFile.h"

#include <windows.h>

#include <system_error>

namespace pexo::cli {

std::optional<std::string> unreadableBecause(const std::string& file, bool& missing) {
    const auto failed = [&missing](DWORD error) {
        missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return "cannot be read: " + std::system_category().message(static_cast<int>(error));
    };
    missing = false;
    const std::optional<std::wstring> wide = toUtf16(file);
    if (!wide)
        return std::string("cannot be read: the name is not valid UTF-8");
    const HANDLE handle =
        ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed(::GetLastError());
    const struct Closer {
        HANDLE handle;
        ~Closer() { ::CloseHandle(handle); }
    } closer{handle};
    // A pipe or a device in the file's place could hang the run.
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return "is not a regular file";
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        return failed(::GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return "is not a regular file";
    const unsigned long long size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > kMaxSettingsFileSize)
        return tooLargeForSettings();
    char buffer[16384];
    std::size_t total = 0;
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &n, nullptr))
            return failed(::GetLastError());
        if (n == 0)
            return std::nullopt;
        total += n;
        if (total > kMaxSettingsFileSize)
            return tooLargeForSettings();
    }
}

} // namespace pexo::cli
