#include "core/station/PortIdentity.h"

#include <filesystem>

namespace pexo {

PortIdentity describeDevicePath(const std::string& path) {
    PortIdentity identity;
    std::error_code error;
    const auto resolved = std::filesystem::canonical(path, error);
    identity.device = error ? path : resolved.string();
    return identity;
}

} // namespace pexo
