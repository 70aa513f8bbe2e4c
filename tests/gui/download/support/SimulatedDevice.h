#pragma once

#include "core/settings/ProtocolParameters.h"
#include "devsim/Simulator.h"

#include <chrono>
#include <memory>
#include <string>

namespace pexo::gui::test {

inline constexpr std::chrono::milliseconds kDeadline{15000};

// The simulated device on its pseudo-terminal, served on a thread for one test.
class SimulatedDevice {
public:
    explicit SimulatedDevice(devsim::Options options = {});
    ~SimulatedDevice();

    // False (with the reason in error()) when the pseudo-terminal could not be set up.
    bool start();
    std::string error() const { return m_sim->error(); }
    const std::string& path() const { return m_sim->slavePath(); }
    devsim::Simulator& sim() { return *m_sim; }

    bool waitFor(const std::function<bool(const devsim::Status&)>& condition) const {
        return m_sim->waitFor(condition, kDeadline);
    }
    bool waitUntilClosed() const {
        return waitFor([](const devsim::Status& s) { return !s.hostOpen; });
    }

private:
    std::unique_ptr<devsim::Simulator> m_sim;
};

// A quick download: four 1 KiB blocks from 0x100 to 0x10FF, one sector erased at 0, short
// time-outs, no pacing surplus. kQuickImageLength is the image length that just fits.
ProtocolParameters quickParameters();
inline constexpr std::uint32_t kQuickImageLength = 0x1100;

} // namespace pexo::gui::test
