#include "core/app/PathLayout.h"
#include "core/app/Paths.h"
#include "core/app/Utf16.h"

#include <algorithm>
#include <windows.h>

namespace pexo {

const PathLayout kPathLayout{"\\/", "DLL\\UNLHA32.DLL", "INI\\PexoUDef.INI", "PexoTEMP\\"};

namespace {

// The longest path Win32 hands out (the \\?\ form).
constexpr DWORD kMaxPath = 32768;

std::string readExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0)
            return {};
        // A name that fills the buffer may have been cut short: try again with more room.
        if (length < size) {
            buffer.resize(length);
            return toUtf8(buffer).value_or(std::string{});
        }
        if (size >= kMaxPath)
            return {};
        buffer.resize(std::min<DWORD>(size * 2, kMaxPath));
    }
}

// The user's own temporary folder rather than the Windows folder, which other users can write.
std::string userTempFolder() {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetTempPathW(size, buffer.data());
        if (length == 0)
            return {};
        if (length < size) {
            buffer.resize(length);
            return toUtf8(buffer).value_or(std::string{});
        }
        // Too small: `length` is the size needed, the terminator included.
        if (length > kMaxPath)
            return {};
        buffer.resize(length);
    }
}

} // namespace

PathEnvironment systemPathEnvironment() {
    return PathEnvironment{readExecutablePath, userTempFolder};
}

} // namespace pexo
