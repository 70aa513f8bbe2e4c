#pragma once

// Folder checks shared by the archiver's extraction folder and the program's extraction lock
// (Windows builds only): the counterparts of mode 0700, O_NOFOLLOW and the owner's uid.

#include "archiver/Utf16.h"

#include <aclapi.h>
#include <sddl.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pexo::win {

inline bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

inline std::string describe(std::string_view what, std::string_view path, DWORD err) {
    std::string text(what);
    text += " ";
    text += path;
    if (err != 0) {
        text += ": ";
        text += errorText(err);
    }
    return text;
}

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset() {
        if (valid())
            ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE handle_;
};

// The process token's user and default owner (an elevated administrator's files belong to the
// Administrators group): the owners a folder of this user may have.
struct TokenSids {
    std::vector<unsigned char> user;
    std::vector<unsigned char> owner;

    static std::vector<unsigned char> query(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
        DWORD size = 0;
        ::GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<unsigned char> data(size);
        if (size == 0 || !::GetTokenInformation(token, kind, data.data(), size, &size))
            return {};
        return data;
    }
    PSID userSid() const {
        return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    }
    PSID ownerSid() const {
        return owner.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner;
    }
};

inline TokenSids processSids() {
    TokenSids sids;
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        sids.user = TokenSids::query(token, TokenUser);
        sids.owner = TokenSids::query(token, TokenOwner);
        ::CloseHandle(token);
    }
    return sids;
}

// A folder the user alone (and the system) may use, as a new folder's protected ACL: the
// counterpart of mode 0700.
class PrivateFolderSecurity {
public:
    PrivateFolderSecurity() {
        const PSID user = sids_.userSid();
        wchar_t* userText = nullptr;
        if (!user || !::ConvertSidToStringSidW(user, &userText))
            return;
        const std::wstring sddl =
            std::wstring(L"D:P(A;OICI;FA;;;") + userText + L")(A;OICI;FA;;;SY)";
        ::LocalFree(userText);
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   &descriptor_, nullptr)) {
            attributes_.nLength = sizeof attributes_;
            attributes_.lpSecurityDescriptor = descriptor_;
            attributes_.bInheritHandle = FALSE;
        }
    }
    ~PrivateFolderSecurity() {
        if (descriptor_)
            ::LocalFree(descriptor_);
    }
    PrivateFolderSecurity(const PrivateFolderSecurity&) = delete;
    PrivateFolderSecurity& operator=(const PrivateFolderSecurity&) = delete;

    // Null when no such ACL could be made: the folder then inherits its parent's.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    TokenSids sids_ = processSids();
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// mkdir -p: each missing folder along `path` is made private to the user. The parts up to the
// first folder of a drive ("C:", "\\server\share") are never made.
inline bool makePrivateFolders(const std::string& path, std::string& error) {
    PrivateFolderSecurity security;
    std::size_t start = 0;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        // \\server\share\ or \\?\C:\ : past the first two parts.
        start = path.find_first_of("\\/", 2);
        start = start == std::string::npos ? path.size() : path.find_first_of("\\/", start + 1);
    } else if (path.size() >= 2 && path[1] == ':') {
        start = 2;
    }
    for (std::size_t sep = path.find_first_of("\\/", start + 1);;
         sep = path.find_first_of("\\/", sep + 1)) {
        const std::string part = sep == std::string::npos ? path : path.substr(0, sep);
        if (!part.empty() && !isSeparator(part.back()) &&
            !::CreateDirectoryW(widen(part).c_str(), security.attributes())) {
            const DWORD err = ::GetLastError();
            if (err != ERROR_ALREADY_EXISTS && err != ERROR_ACCESS_DENIED) {
                error = describe("cannot create folder", part, err);
                return false;
            }
            // Access denied is what a drive root or a folder of another user gives when it
            // exists; a folder really missing shows when it is opened below.
        }
        if (sep == std::string::npos)
            return true;
    }
}

// Whether the folder open as `folder` belongs to this user. Where the owner cannot be read (a
// file system without security, such as FAT) Windows cannot tell, and nothing is refused.
inline bool ownedByUser(HANDLE folder) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const TokenSids sids = processSids();
    const bool mine = !owner || !sids.userSid() || ::EqualSid(owner, sids.userSid()) ||
                      (sids.ownerSid() && ::EqualSid(owner, sids.ownerSid()));
    ::LocalFree(descriptor);
    return mine;
}

// Whether the ACL of the object open as `handle` lets anyone but this user, the system and the
// administrators add, change or delete what it holds: the counterpart of a group- or
// world-writable mode. A null ACL grants everything to everyone. Where the ACL cannot be read
// (FAT) Windows cannot tell, and nothing is refused.
inline bool writableByOthers(HANDLE handle) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const TokenSids sids = processSids();
    const auto wellKnown = [](WELL_KNOWN_SID_TYPE type, std::vector<unsigned char>& sid) {
        DWORD size = SECURITY_MAX_SID_SIZE;
        sid.resize(size);
        return ::CreateWellKnownSid(type, nullptr, sid.data(), &size) != FALSE;
    };
    std::vector<unsigned char> system, administrators;
    const bool known = wellKnown(WinLocalSystemSid, system) &&
                       wellKnown(WinBuiltinAdministratorsSid, administrators);
    const auto trusted = [&](PSID sid) {
        return (sids.userSid() && ::EqualSid(sid, sids.userSid())) ||
               (sids.ownerSid() && ::EqualSid(sid, sids.ownerSid())) ||
               (known && (::EqualSid(sid, system.data()) || ::EqualSid(sid, administrators.data())));
    };
    constexpr ACCESS_MASK kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                     DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    bool others = dacl == nullptr;
    for (DWORD i = 0; !others && dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
            ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        others = (allowed->Mask & kChanges) != 0 && !trusted(sid);
    }
    ::LocalFree(descriptor);
    return others;
}

// The folder itself, not what a final link or junction leads to, open without delete sharing
// so that it cannot be renamed away and replaced while open. INVALID_HANDLE_VALUE on failure.
inline HANDLE openFolderItself(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

} // namespace pexo::win
