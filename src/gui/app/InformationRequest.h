#pragma once

#include <optional>
#include <string>

namespace pexo::gui {

// --help and --version, answered before the application object exists, so that they need no
// display: the text for stdout, or nothing when the program is to start. Options after "--"
// are archive names.
std::optional<std::string> informationRequest(int argc, const char* const* argv);

} // namespace pexo::gui
