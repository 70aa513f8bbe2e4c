#pragma once

namespace pexo::gui {

// Registers the icons compiled into the library; a static library's resources are not
// registered by themselves. Safe to call more than once.
void registerGuiResources();

} // namespace pexo::gui
