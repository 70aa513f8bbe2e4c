#include "gui/app/Resources.h"

#include <QtGlobal>

// The macro must be used outside any namespace.
static void registerPexoResources() {
    Q_INIT_RESOURCE(pexo);
}

namespace pexo::gui {

void registerGuiResources() {
    static const bool registered = [] {
        registerPexoResources();
        return true;
    }();
    (void)registered;
}

} // namespace pexo::gui
