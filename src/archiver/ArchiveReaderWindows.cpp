// Opening the archive file with Win32 calls: the UTF-8 path as UTF-16, and a check that it is a
// file on a disk (a pipe or a device would block or never end) before libarchive reads it
// through a C runtime descriptor.
#include "archiver/ArchiveReader.h"

#include "archiver/Utf16.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <io.h>

namespace pexo::archiver {

bool ArchiveReader::openFile(const std::string& path) {
    bool valid = false;
    const std::wstring wide = win::widen(path, &valid);
    if (!valid) {
        openError_ = path + ": not a valid UTF-8 path";
        return false;
    }
    // Others may go on reading, writing or renaming the archive, as on other systems.
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        openError_ = path + ": " + win::errorText(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::CloseHandle(file);
        openError_ = path + ": not a regular file";
        return false;
    }
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        ::CloseHandle(file);
        openError_ = path + ": cannot be read";
        return false;
    }
    return archive_read_open_fd(archive_, fd_, 64 * 1024) == ARCHIVE_OK;
}

void ArchiveReader::closeFile() {
    if (fd_ >= 0)
        ::_close(fd_);
    fd_ = -1;
}

std::ptrdiff_t ArchiveReader::readAt(std::int64_t offset, void* buffer, std::size_t size) const {
    const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    // A read at an offset moves a synchronous handle's position; libarchive reads on from where
    // it was.
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT))
        return -1;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    const BOOL ok = ::ReadFile(file, buffer, static_cast<DWORD>(size), &got, &at);
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    if (!ok && error != ERROR_HANDLE_EOF)
        return -1;
    return static_cast<std::ptrdiff_t>(ok ? got : 0);
}

// Windows file names are UTF-16: the name as libarchive decodes it from the archive's
// character set, carried as UTF-8.
const char* storedMemberPath(archive_entry* entry, std::string& storage) {
    if (const wchar_t* wide = archive_entry_pathname_w(entry)) {
        storage = win::narrow(wide);
        if (!storage.empty())
            return storage.c_str();
    }
    return archive_entry_pathname_utf8(entry);
}

} // namespace pexo::archiver
