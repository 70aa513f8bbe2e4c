#pragma once

// UTF-8 inside, UTF-16 at every Win32 call (Windows builds only).

#include "core/app/Utf16.h"

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <windows.h>

namespace pexo::win {

// The core's conversions (core/app/Utf16.h) in the shape the file code wants: empty for empty
// input and for input that is not valid UTF-8; callers that must tell the two apart check `ok`.
inline std::wstring widen(std::string_view text, bool* ok = nullptr) {
    std::optional<std::wstring> wide = toUtf16(text);
    if (ok)
        *ok = wide.has_value();
    return wide ? std::move(*wide) : std::wstring();
}

inline std::string narrow(std::wstring_view text) {
    return toUtf8(text).value_or(std::string());
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
