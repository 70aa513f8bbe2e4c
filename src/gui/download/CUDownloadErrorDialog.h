#pragma once

#include "gui/download/ResultDialog.h"

#include <cstdint>

namespace pexo {
struct DownloadContext;
}

namespace pexo::gui {

// "Download status" after an error end: the stop time, the cause and the bytes received.
class CUDownloadErrorDialog : public ResultDialog {
    Q_OBJECT
public:
    // The lines are taken from `ctx` now; `imageLength` is shown with the file length error.
    CUDownloadErrorDialog(const DownloadContext* ctx, std::uint32_t imageLength,
                          QWidget* parent = nullptr);
};

} // namespace pexo::gui
