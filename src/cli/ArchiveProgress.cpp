#include "cli/ArchiveProgress.h"

#include "cli/Console.h"

namespace pexo::cli {

// A message, not progress: a wait of up to a minute must be explained also under --quiet.
void ArchiveProgress::notice(std::string_view text) {
    console_.message(text);
}

} // namespace pexo::cli
