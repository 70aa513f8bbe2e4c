#include "core/app/Version.h"

#include "PexoVersion.h"

namespace pexo {

std::string_view pexoVersion() {
    return PEXO_VERSION;
}

} // namespace pexo
