#include "core/app/Utf16.h"
#include "core/settings/AtomicFile.h"

#include <atomic>
#include <optional>
#include <windows.h>

namespace pexo {
namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool reset() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The path a symbolic link (or junction) finally names; the path itself for anything else.
std::optional<std::wstring> finalPath(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    Handle h(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid())
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(path) : std::nullopt;
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            h.get(), buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1);
    }
}

// A name beside the target that no other writer in this or another process will pick.
HANDLE createTemporary(const std::wstring& dir, const std::wstring& base, std::wstring& tmpPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath = dir + L"." + base + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(counter.fetch_add(1));
        const HANDLE h = ::CreateFileW(tmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    return INVALID_HANDLE_VALUE;
}

int moveOverWide(const std::wstring& from, const std::wstring& to) {
    // ReplaceFileW keeps the replaced file's attributes, access rights and creation time; it
    // leaves both files as they were when it fails.
    if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr))
        return 0;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return -1;
    // Nothing to replace (yet): a plain move, on the disk before it returns.
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
}

} // namespace

FileBytes readWholeFile(const std::string& path) {
    FileBytes out;
    const auto wide = toUtf16(path);
    if (!wide || wide->empty()) {
        out.status = FileReadStatus::Failed;
        return out;
    }
    // Shared for writing and deleting, so that a reader never stands in a replacement's way.
    Handle file(::CreateFileW(wide->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        out.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? FileReadStatus::Missing
                         : FileReadStatus::Failed;
        return out;
    }
    out.status = FileReadStatus::Failed;
    // Only a file on a disk: not a pipe, a console or a serial port in the file's place.
    LARGE_INTEGER size{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > kMaxSettingsFileSize)
        return out;
    std::string bytes;
    char buf[16384];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), buf, sizeof buf, &n, nullptr))
            return out;
        if (n == 0)
            break;
        bytes.append(buf, n);
        if (bytes.size() > kMaxSettingsFileSize)
            return out;
    }
    out.status = FileReadStatus::Read;
    out.bytes = std::move(bytes);
    return out;
}

int moveOverFile(const char* from, const char* to) {
    const auto wideFrom = toUtf16(from);
    const auto wideTo = toUtf16(to);
    return wideFrom && wideTo ? moveOverWide(*wideFrom, *wideTo) : -1;
}

bool replaceWholeFile(const std::string& path, std::string_view bytes, RenameFunction rename) {
    const auto wide = path.empty() ? std::nullopt : toUtf16(path);
    if (!wide)
        return false;
    const auto target = finalPath(*wide);
    if (!target)
        return false;

    const DWORD attributes = ::GetFileAttributesW(target->c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        // A file marked read-only stays as it is, even for a user who could clear the mark.
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            return false;
        // Whether this user may write it, as its access rights say: by trying.
        Handle probe(::CreateFileW(target->c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.valid() || ::GetFileType(probe.get()) != FILE_TYPE_DISK)
            return false;
    } else {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return false;
    }

    const auto separator = target->find_last_of(L"\\/");
    const std::wstring dir =
        separator == std::wstring::npos ? std::wstring{} : target->substr(0, separator + 1);
    const std::wstring base =
        separator == std::wstring::npos ? *target : target->substr(separator + 1);

    std::wstring tmpPath;
    Handle file(createTemporary(dir, base, tmpPath));
    if (!file.valid())
        return false;

    bool ok = writeAll(file.get(), bytes) && ::FlushFileBuffers(file.get()) != 0;
    ok = file.reset() && ok;
    // ReplaceFileW carries the attributes over too, but not every implementation of it does.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (ok && exists && (attributes & kKept))
        ok = ::SetFileAttributesW(tmpPath.c_str(), attributes & kKept) != 0;
    if (ok) {
        const auto from = toUtf8(tmpPath);
        const auto to = toUtf8(*target);
        ok = from && to && rename(from->c_str(), to->c_str()) == 0;
    }
    if (!ok) {
        ::DeleteFileW(tmpPath.c_str());
        return false;
    }
    return true;
}

} // namespace pexo
