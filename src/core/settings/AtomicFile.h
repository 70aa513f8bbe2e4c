#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pexo {

enum class FileReadStatus {
    Read,    // the bytes are the whole file
    Missing, // no such file (or no such folder)
    Failed,  // there is something, but it cannot be read as a regular file of sane size
};

struct FileBytes {
    FileReadStatus status = FileReadStatus::Missing;
    std::string bytes;
};

// Settings files are small; anything beyond this is not one of ours and is left alone.
inline constexpr std::size_t kMaxSettingsFileSize = 16u << 20;

// Reads a whole regular file without blocking on FIFOs or devices.
FileBytes readWholeFile(const std::string& path);

using RenameFunction = int (*)(const char* from, const char* to);

// Puts the file `from` in the place of `to` in one step, as the platform does it: rename(2);
// on Windows ReplaceFileW over an existing file (which keeps its attributes and access
// rights), else a write-through MoveFileExW. 0 on success, as for rename.
int moveOverFile(const char* from, const char* to);

// Replaces the file's content all at once: the bytes go to a temporary file beside it, which
// reaches the disk and is then moved over it, so a crash leaves either the old or the new
// file, never a torn one. An existing file keeps its mode (and, where allowed, its owner) or,
// on Windows, its attributes and access rights; a symbolic link is followed and its target
// replaced. A missing folder is never created. Returns false, with the file untouched and no
// temporary left, when any step fails; an existing file that this process may not write (or
// that is marked read-only) is not replaced. `rename` is a seam for tests.
bool replaceWholeFile(const std::string& path, std::string_view bytes,
                      RenameFunction rename = &moveOverFile);

} // namespace pexo
