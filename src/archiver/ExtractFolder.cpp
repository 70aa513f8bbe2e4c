#include "archiver/ExtractFolder.h"

namespace pexo::archiver {

std::string withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

} // namespace pexo::archiver
