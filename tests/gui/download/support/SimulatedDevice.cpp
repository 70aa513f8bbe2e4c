#include "SimulatedDevice.h"

namespace pexo::gui::test {

SimulatedDevice::SimulatedDevice(devsim::Options options) {
    // The tests close the line themselves; no need to linger after a session.
    options.linger = std::chrono::milliseconds(0);
    m_sim = std::make_unique<devsim::Simulator>(std::move(options));
}

SimulatedDevice::~SimulatedDevice() {
    m_sim->stop();
    m_sim->join();
}

bool SimulatedDevice::start() {
    return m_sim->start();
}

ProtocolParameters quickParameters() {
    ProtocolParameters p;
    p.Code30 = 5;
    p.Code31 = 0;
    p.Code51 = p.Code52 = p.Code53 = p.Code54 = 3000;
    p.Code61 = 3; // 1024-byte sectors
    p.Code62_1 = 0;
    p.Code62_2 = 1;
    p.Code63_1 = 0x100;
    p.Code63_2 = 0x10FF;
    p.CheckCode72 = 0;
    return p;
}

} // namespace pexo::gui::test
