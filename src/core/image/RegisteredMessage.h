#pragma once

#include <string_view>

namespace pexo {

// The process-wide number of a registered window message. The archiver module is a separate
// binary that must arrive at the same number for the same name, so numbers are computed from
// the name (PexoArcMessageNumber in archiver/PexoArc.h) rather than handed out in order.
unsigned int registerWindowMessage(std::string_view name);

// The number registered for "wm_arcextract", registered on first use and kept for the run.
unsigned int extractNotificationMessage();

} // namespace pexo
