#pragma once

#include <string_view>

namespace pexo {

// The version of this build: the project's, with what `git describe` adds in a checkout.
std::string_view pexoVersion();

} // namespace pexo
