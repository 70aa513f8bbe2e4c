#include "core/app/Utf16.h"

#include <climits>
#include <windows.h>

namespace pexo {

std::optional<std::wstring> toUtf16(std::string_view utf8) {
    if (utf8.empty())
        return std::wstring{};
    if (utf8.size() > INT_MAX)
        return std::nullopt;
    const int length = static_cast<int>(utf8.size());
    const int needed =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(),
                              needed) != needed)
        return std::nullopt;
    return wide;
}

std::optional<std::string> toUtf8(std::wstring_view utf16) {
    if (utf16.empty())
        return std::string{};
    if (utf16.size() > INT_MAX)
        return std::nullopt;
    const int length = static_cast<int>(utf16.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), length,
                                             nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::nullopt;
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), length, narrow.data(),
                              needed, nullptr, nullptr) != needed)
        return std::nullopt;
    return narrow;
}

} // namespace pexo
