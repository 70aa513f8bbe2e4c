#include "gui/station/StationHost.h"

namespace pexo::gui {

StationHost::StationHost(std::shared_ptr<const StationImage> image, const std::string& devicePath,
                         Tell tell)
    : m_image(std::move(image)), m_tell(std::move(tell)), m_imageFile(m_image->imageFile),
      m_imageSize(m_image->length) {
    m_context.devicePath = devicePath;
}

void StationHost::showMessage(std::string_view text, MessageIcon) {
    if (m_tell)
        m_tell(std::string(text));
}

} // namespace pexo::gui
