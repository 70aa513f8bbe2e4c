#include "core/settings/PortDevices.h"

namespace pexo {

std::string builtInPortDevice(int portNumber) {
    return portNumber == 2 ? "/dev/ttyS1" : "/dev/ttyS0";
}

} // namespace pexo
