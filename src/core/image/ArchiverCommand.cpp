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

namespace {

// Quotes are no help here: an archiver may well read a quoted "-x.lzh" as a switch too.
std::string notASwitch(std::string_view path) {
    return path.starts_with('-') ? "./" + std::string(path) : std::string(path);
}

} // namespace

std::string extractCommandLine(std::string_view archivePath, std::string_view folder) {
    return "e -nyc " + quoteArchiverPath(notASwitch(archivePath)) + " " +
           quoteArchiverPath(notASwitch(folder));
}

} // namespace pexo
