#include "core/settings/PortDevices.h"

namespace pexo {

std::string builtInPortDevice(int portNumber) {
    return portNumber == 2 ? "COM2" : "COM1";
}

} // namespace pexo
