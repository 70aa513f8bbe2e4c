#pragma once

#include <string>

namespace pexo {

// Why `path` cannot be opened as an archive file ("PATH: No such file or directory",
// "PATH: is a directory", "PATH: cannot be read: Permission denied", ...), or empty when it can.
// The archiver's check only answers yes or no. The platform's part (ArchiveFilePosix.cpp).
std::string archiveFileProblem(const std::string& path);

} // namespace pexo
