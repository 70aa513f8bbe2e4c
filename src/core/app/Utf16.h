#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// UTF-8 inside, UTF-16 at every Win32 call (Windows builds only). Both refuse text that is
// not valid in its encoding rather than pass on a mangled name.
std::optional<std::wstring> toUtf16(std::string_view utf8);
std::optional<std::string> toUtf8(std::wstring_view utf16);

} // namespace pexo
