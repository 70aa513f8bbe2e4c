#pragma once

// UTF-8 inside, UTF-16 at every Win32 call (Windows builds only).

#include <string>
#include <string_view>
#include <system_error>
#include <windows.h>

namespace pexo::win {

// Empty for empty input and for input that is not valid UTF-8; callers that must tell the two
// apart check `ok`.
inline std::wstring widen(std::string_view text, bool* ok = nullptr) {
    if (ok)
        *ok = true;
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) {
        if (ok)
            *ok = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    return wide;
}

inline std::string narrow(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

// The text for a Win32 error code: the POSIX wording where the error has a POSIX meaning (so
// that reasons read the same on every system), else the system's text.
inline std::string errorText(DWORD code) {
    const std::error_condition condition =
        std::system_category().default_error_condition(static_cast<int>(code));
    if (condition.category() == std::generic_category())
        return condition.message();
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 ? narrow({buffer, n}) : std::string();
    ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

} // namespace pexo::win
