#pragma once

#include "core/settings/CommSettings.h"

#include "core/download/DownloadSession.h"
#include "support/GuiTestHost.h"
#include "support/SimulatedDevice.h"

#include <QObject>
#include <optional>

namespace pexo::gui::test {

// A dialog test over a real session: a fresh host holding a quick image for every case, and
// the simulated device and the session once a case opens them.
class SessionTest : public QObject {
    Q_OBJECT
protected slots:
    void init();
    void cleanup();

protected:
    // Starts the device and opens the port to it.
    bool open(devsim::Options options = {}, ProtocolParameters params = quickParameters(),
              CommSettings comm = {});

    std::optional<GuiTestHost> m_host;
    std::optional<SimulatedDevice> m_device;
    std::optional<DownloadSession> m_session;
};

} // namespace pexo::gui::test
