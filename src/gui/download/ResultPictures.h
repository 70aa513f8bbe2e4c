#pragma once

#include <QPixmap>

namespace pexo::gui {

// The pictures of the two result dialogs: a device with a green tick, or with a red cross.
// Painted rather than loaded, so they look the same at every scale and need no resource.
QPixmap normalEndPicture();
QPixmap errorEndPicture();

// The space the picture is shown in.
inline constexpr int kPictureWidth = 105;
inline constexpr int kPictureHeight = 63;

} // namespace pexo::gui
