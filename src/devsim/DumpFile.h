#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pexo::devsim {

// Replaces the file at `path` with `bytes`, written aside and renamed into place so a reader
// never sees half a dump. On failure returns false with the reason in `error`.
bool writeDumpFile(const std::string& path, std::span<const std::uint8_t> bytes,
                   std::string& error);

} // namespace pexo::devsim
