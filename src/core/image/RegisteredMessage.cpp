#include "core/image/RegisteredMessage.h"

#include "archiver/PexoArc.h"

#include <string>

namespace pexo {

unsigned int registerWindowMessage(std::string_view name) {
    return PexoArcMessageNumber(std::string(name).c_str());
}

unsigned int extractNotificationMessage() {
    static const unsigned int number = registerWindowMessage(PEXOARC_EXTRACT_MESSAGE_NAME);
    return number;
}

} // namespace pexo
