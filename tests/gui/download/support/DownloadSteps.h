#pragma once

// Steps that the Download command's tests take alike.

#include "core/protocol/DownloadContext.h"
#include "gui/download/CUConnectModeDialog.h"
#include "support/MainFrameFixture.h"
#include "support/ModalScript.h"

#include <QPushButton>
#include <QString>

namespace pexo::gui::test {

// Presses Continue on the connect prompt once the device has answered the poll.
inline ModalScript& continueAtThePrompt(ModalScript& script) {
    return script.then<CUConnectModeDialog>(
        QStringLiteral("Continue enabled"),
        [](CUConnectModeDialog* d) { return d->continueButton()->isEnabled(); },
        [](CUConnectModeDialog* d) { d->continueButton()->click(); });
}

// The write has reached the image's first block.
inline bool writeUnderWay(TestFrame& frame) {
    return frame.downloadContext()->writeAddress.load() >= 0x100;
}

} // namespace pexo::gui::test
