#pragma once

// The folder making shared by the archiver's extraction folder and the program's extraction
// lock (POSIX builds; WindowsFolder.h is the Windows counterpart).

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <system_error>

namespace pexo::posix {

// mkdir -p with mode 0700 for every folder it makes. False, with the reason, on failure.
inline bool makePrivateFolders(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create folder " + part + ": " + std::generic_category().message(errno);
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

} // namespace pexo::posix
