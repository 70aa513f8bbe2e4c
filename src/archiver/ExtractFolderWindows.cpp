// The extraction folder with Win32 calls. Paths are UTF-8 inside and UTF-16 at each call; the
// folder stays open, without delete sharing, so that it cannot be renamed away and replaced by
// a junction while members are written into it.
#include "archiver/ExtractFolder.h"

#include "archiver/MemberName.h"
#include "archiver/Utf16.h"
#include "archiver/WindowsFolder.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace pexo::archiver {
namespace {

using win::describe;
using win::Handle;
using win::isSeparator;

// A private file beside the destination; removed unless committed.
class WindowsMemberFile final : public MemberFile {
public:
    explicit WindowsMemberFile(std::string prefix) : prefix_(std::move(prefix)) {}
    ~WindowsMemberFile() override { discard(); }

    bool create(std::string& error) {
        static std::atomic<unsigned> counter{0};
        DWORD err = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name =
                ".pexo-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".part";
            const std::wstring path = win::widen(prefix_ + name);
            file_ = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file_ != INVALID_HANDLE_VALUE) {
                path_ = path;
                return true;
            }
            err = ::GetLastError();
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
                break;
        }
        error = "cannot create a file in the extraction folder: " + win::errorText(err);
        return false;
    }

    bool write(const void* data, std::size_t size, std::string& error) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(file_, bytes, chunk, &written, nullptr) || written == 0) {
                error = win::errorText(::GetLastError());
                return false;
            }
            bytes += written;
            size -= written;
        }
        return true;
    }

    bool commit(const std::string& finalName, std::string& error) override {
        const bool closed = ::CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        // Replaces a file or a link of that name, never what a link points to.
        if (!closed || !::MoveFileExW(path_.c_str(), win::widen(prefix_ + finalName).c_str(),
                                      MOVEFILE_REPLACE_EXISTING)) {
            error = "cannot write " + finalName + ": " + win::errorText(::GetLastError());
            return false;
        }
        path_.clear();
        return true;
    }

    void discard() override {
        if (file_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        if (!path_.empty()) {
            ::DeleteFileW(path_.c_str());
            path_.clear();
        }
    }

private:
    std::string prefix_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
};

} // namespace

struct ExtractFolder::Native {
    explicit Native(HANDLE handle) : folder(handle) {}
    Handle folder;
};

ExtractFolder::ExtractFolder(std::unique_ptr<Native> native, std::string prefix)
    : native_(std::move(native)), prefix_(std::move(prefix)) {}
ExtractFolder::ExtractFolder(ExtractFolder&& other) noexcept = default;
ExtractFolder& ExtractFolder::operator=(ExtractFolder&& other) noexcept = default;
ExtractFolder::~ExtractFolder() = default;

std::optional<ExtractFolder> ExtractFolder::open(std::string_view path, std::string& error) {
    // Destinations end in the separator the folder was given with ('\' when none).
    std::string_view trimmed = path;
    char separator = '\\';
    while (trimmed.size() > 1 && isSeparator(trimmed.back()) &&
           trimmed[trimmed.size() - 2] != ':') {
        separator = trimmed.back();
        trimmed.remove_suffix(1);
    }
    const std::string folder(trimmed);
    bool valid = false;
    const std::wstring wide = win::widen(folder, &valid);
    if (folder.empty() || !valid) {
        error = folder.empty() ? "no extraction folder" : "extraction folder is not UTF-8";
        return std::nullopt;
    }
    if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
            error = describe("cannot examine folder", folder, err);
            return std::nullopt;
        }
        if (!win::makePrivateFolders(folder, error))
            return std::nullopt;
    }
    // Checked through the very handle that stays open.
    auto native = std::make_unique<Native>(win::openFolderItself(wide));
    if (!native->folder.valid()) {
        error = describe("cannot open folder", folder, ::GetLastError());
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(native->folder.get(), &info)) {
        error = describe("cannot examine folder", folder, ::GetLastError());
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = describe("extraction folder is a link or junction:", folder, 0);
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = describe("not a folder:", folder, 0);
        return std::nullopt;
    }
    if (!win::ownedByUser(native->folder.get())) {
        error = describe("extraction folder belongs to another user:", folder, 0);
        return std::nullopt;
    }
    if (win::writableByOthers(native->folder.get())) {
        error = describe("extraction folder is writable by others:", folder, 0);
        return std::nullopt;
    }
    const bool root = !folder.empty() && isSeparator(folder.back());
    return ExtractFolder(std::move(native), root ? folder : folder + separator);
}

bool ExtractFolder::canHold(std::string_view name) {
    return windowsCanHold(name);
}

std::unique_ptr<MemberFile> ExtractFolder::createMemberFile(std::string& error) const {
    auto file = std::make_unique<WindowsMemberFile>(prefix_);
    if (!file->create(error))
        return nullptr;
    return file;
}

} // namespace pexo::archiver
