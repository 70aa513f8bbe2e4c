#include "gui/app/QueuedCall.h"

namespace pexo::gui {

std::mutex& queuedCallHandOver() {
    static std::mutex handOver;
    return handOver;
}

} // namespace pexo::gui
