#pragma once

#include "core/serial/PortDescription.h"

#include <string>
#include <vector>

namespace pexo::cli {

// --list-ports: each port's path, then its names and what it is, one fact a line.
std::string portReport(const std::vector<PortDescription>& ports);

} // namespace pexo::cli
