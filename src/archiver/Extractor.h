#pragma once

#include "archiver/CommandLine.h"

#include <functional>
#include <string>

namespace pexo::archiver {

// Receives each state of each member with its notification record; returns false to stop.
using MemberNotify = std::function<bool(unsigned int state, void* record)>;

// Extracts every regular member of `command.archive` flat into `command.folder`. Each member is
// written to a temporary file that is renamed to its name only when the whole member arrived with
// its stated length and a good CRC, so a failed member never leaves a file that passes for it.
// Returns PEXOARC_OK or a PEXOARC_ERROR_* code with an explanation in `message`.
int extractArchive(const ExtractCommand& command, const MemberNotify& notify, std::string& message);

} // namespace pexo::archiver
