#pragma once

#include <optional>
#include <string>

namespace pexo::cli {

// UTF-8 inside the program, UTF-16 at the Windows calls. Empty optional for text that is not
// valid in its encoding.
std::optional<std::wstring> toWide(const std::string& text);
std::optional<std::string> toUtf8(const std::wstring& text);

} // namespace pexo::cli
