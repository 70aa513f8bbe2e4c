#include "core/station/StationHost.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo {

std::string hostName() {
    char host[HOST_NAME_MAX + 1] = {};
    return ::gethostname(host, sizeof host - 1) == 0 ? std::string(host) : std::string{};
}

bool portDevicePresent(const std::string& device) {
    struct stat st {};
    return ::stat(device.c_str(), &st) == 0;
}

} // namespace pexo
