// The extraction lock with LockFileEx on the lock file: held per open handle, so two opens
// exclude each other also within one process, and released by the system when its holder ends
// however it ends, so no stale lock outlives a crashed program.
#include "archiver/PexoArc.h"
#include "archiver/WindowsFolder.h"
#include "core/image/ExtractionLock.h"

namespace pexo {
namespace {

class WindowsLockFile final : public ExtractionLockFile {
public:
    explicit WindowsLockFile(HANDLE file) : file_(file) {}

    Attempt tryLock(std::string& error) override {
        OVERLAPPED whole{};
        if (::LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                         MAXDWORD, MAXDWORD, &whole))
            return Attempt::Taken;
        const DWORD err = ::GetLastError();
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
            return Attempt::HeldElsewhere;
        error = "cannot lock the extraction folder: " + win::errorText(err);
        return Attempt::Failed;
    }

private:
    // Closing the handle releases the lock.
    win::Handle file_;
};

} // namespace

std::unique_ptr<ExtractionLockFile> ExtractionLockFile::open(const std::string& folder,
                                                             std::string& error) {
    std::string path = folder;
    while (path.size() > 1 && win::isSeparator(path.back()) && path[path.size() - 2] != ':')
        path.pop_back();
    bool valid = false;
    const std::wstring wide = win::widen(path, &valid);
    if (path.empty() || !valid) {
        error = path.empty() ? "no extraction folder" : "extraction folder is not UTF-8";
        return nullptr;
    }
    if (!win::makePrivateFolders(path, error))
        return nullptr;
    win::Handle dir(win::openFolderItself(wide));
    if (!dir.valid()) {
        error = win::describe("cannot open folder", path, ::GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(dir.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || !win::ownedByUser(dir.get()) ||
        win::writableByOthers(dir.get())) {
        error = "extraction folder " + path + " is not private to this user";
        return nullptr;
    }
    const std::string lockPath =
        (win::isSeparator(path.back()) ? path : path + "\\") + PEXOARC_LOCK_FILE_NAME;
    // No delete sharing: the lock file cannot be removed, and another made under its name,
    // while anyone has it open.
    HANDLE file = ::CreateFileW(win::widen(lockPath).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win::describe("cannot open lock file", lockPath, ::GetLastError());
        return nullptr;
    }
    auto lock = std::make_unique<WindowsLockFile>(file);
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !win::ownedByUser(file)) {
        error = "lock file " + lockPath + " is not a private file of this user";
        return nullptr;
    }
    return lock;
}

} // namespace pexo
