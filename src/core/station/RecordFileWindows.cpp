#include "core/app/Utf16.h"
#include "core/station/RecordFile.h"

#include <system_error>
#include <windows.h>

namespace pexo {
namespace {

std::string reason(const char* what, DWORD error) {
    return std::string(what) + ": " + std::system_category().message(static_cast<int>(error));
}

// Windows locks are mandatory: a lock on the records themselves would fail a reader's read
// while a record goes out. So the programs agree on one byte far beyond any real file instead.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;

class FileLock {
public:
    explicit FileLock(HANDLE file) : file_(file) {
        OVERLAPPED at{};
        at.Offset = kLockOffsetLow;
        at.OffsetHigh = kLockOffsetHigh;
        locked_ = ::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
        error_ = locked_ ? 0 : ::GetLastError();
    }
    ~FileLock() {
        if (!locked_)
            return;
        OVERLAPPED at{};
        at.Offset = kLockOffsetLow;
        at.OffsetHigh = kLockOffsetHigh;
        ::UnlockFileEx(file_, 0, 1, 0, &at);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    DWORD error() const { return error_; }

private:
    HANDLE file_;
    bool locked_ = false;
    DWORD error_ = 0;
};

} // namespace

struct RecordFile::State {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
};

RecordFile::RecordFile(std::unique_ptr<State> state) : state_(std::move(state)) {}

RecordFile::~RecordFile() {
    ::CloseHandle(state_->file);
}

std::unique_ptr<RecordFile> RecordFile::open(const std::string& path, std::string& why) {
    const auto wide = toUtf16(path);
    if (!wide || wide->empty()) {
        why = "cannot open it: the name is not valid UTF-8";
        return nullptr;
    }
    // Append-only: every write lands at the file's end, whoever else has it open. Reading
    // rights only for the lock, which asks for them.
    const HANDLE file = ::CreateFileW(
        wide->c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = reason("cannot open it", ::GetLastError());
        return nullptr;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        why = "it is not a regular file";
        return nullptr;
    }
    return std::unique_ptr<RecordFile>(
        new RecordFile(std::make_unique<State>(State{file, std::move(*wide)})));
}

std::optional<std::string> RecordFile::append(std::string_view ifEmpty, std::string_view bytes) {
    const HANDLE file = state_->file;
    FileLock locked(file);
    if (locked.error())
        return reason("cannot lock it", locked.error());
    // Every writer appends under the lock, so the file ends here until we write.
    LARGE_INTEGER before{};
    const bool sized = ::GetFileSizeEx(file, &before) != 0;
    std::string text;
    if (sized && before.QuadPart == 0)
        text = ifEmpty;
    text += bytes;
    if (text.empty())
        return std::nullopt;
    if (text.size() > MAXDWORD)
        return "cannot write it: the record is too long";
    DWORD written = 0;
    if (!::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == 0)
        return reason("cannot write it", ::GetLastError());
    if (written != text.size()) {
        // The rest would not fit (a full disk, a quota). Cutting a file needs writing rights,
        // which the append-only handle has not: a second handle, for this moment only.
        bool takenBack = false;
        const HANDLE cut =
            ::CreateFileW(state_->path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (cut != INVALID_HANDLE_VALUE) {
            takenBack = sized && ::SetFilePointerEx(cut, before, nullptr, FILE_BEGIN) &&
                        ::SetEndOfFile(cut);
            ::CloseHandle(cut);
        }
        if (!takenBack) {
            DWORD ignored = 0;
            ::WriteFile(file, "\n", 1, &ignored, nullptr);
        }
        return "cannot write it: only " + std::to_string(written) + " of " +
               std::to_string(text.size()) + " bytes went out";
    }
    if (!::FlushFileBuffers(file))
        return reason("cannot bring it to the disk", ::GetLastError());
    return std::nullopt;
}

} // namespace pexo
