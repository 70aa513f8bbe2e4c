#pragma once

#include "gui/download/ResultDialog.h"

namespace pexo {
struct DownloadContext;
}

namespace pexo::gui {

// "Download status" after a normal end: the total time, "normal end." and both checksums.
class CUDownloadEndDialog : public ResultDialog {
    Q_OBJECT
public:
    // The lines are taken from `ctx` now; without a context they stay empty.
    explicit CUDownloadEndDialog(const DownloadContext* ctx, QWidget* parent = nullptr);
};

} // namespace pexo::gui
