#pragma once

#include <cstdio>

namespace pexo::cli {

// The whole command: options, settings, archive, one download per port, the report.
// Returns the exit status.
int runCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace pexo::cli
