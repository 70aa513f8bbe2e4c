#include "core/image/ArchiverCommand.h"

namespace pexo {

std::string quoteArchiverPath(std::string_view path) {
    constexpr std::string_view kNeedQuotes = " \t\n\r\v\f\"";
    if (!path.empty() && path.find_first_of(kNeedQuotes) == std::string_view::npos)
        return std::string(path);
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string extractCommandLine(std::string_view archivePath, std::string_view folder) {
    return "e -nyc " + quoteArchiverPath(archivePath) + " " + quoteArchiverPath(folder);
}

} // namespace pexo
