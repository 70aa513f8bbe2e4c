#include "core/image/ArchiveFile.h"

#include "archiver/Utf16.h"

namespace pexo {

std::string archiveFileProblem(const std::string& path) {
    bool valid = false;
    const std::wstring wide = win::widen(path, &valid);
    if (!valid)
        return path + ": not a valid UTF-8 path";
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return path + ": " + win::errorText(::GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return path + ": is a directory";
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path + ": cannot be read: " + win::errorText(::GetLastError());
    // A pipe or a device under the name would block the archiver's read or never end.
    const bool onDisk = ::GetFileType(file) == FILE_TYPE_DISK;
    ::CloseHandle(file);
    return onDisk ? std::string() : path + ": is not a regular file";
}

} // namespace pexo
