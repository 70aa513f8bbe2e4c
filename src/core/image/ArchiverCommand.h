#pragma once

#include <string>
#include <string_view>

namespace pexo {

// A path as the archiver's command line takes it: as it is when it holds no blank and no
// double quote, else in double quotes with \" for a quote and \\ for a backslash.
std::string quoteArchiverPath(std::string_view path);

// "e -nyc ARCHIVE FOLDER" with both paths quoted as needed. A path that starts with '-' gets
// "./" in front, so that the archiver cannot take it for a switch.
std::string extractCommandLine(std::string_view archivePath, std::string_view folder);

} // namespace pexo
