#include "SessionTest.h"

#include "core/settings/CommSettings.h"

#include <QtGlobal>

namespace pexo::gui::test {

void SessionTest::init() {
    m_host.emplace();
    m_host->load(patternImage(kQuickImageLength));
}

void SessionTest::cleanup() {
    if (m_session)
        m_session->close();
    m_session.reset();
    m_device.reset();
    m_host.reset();
}

bool SessionTest::open(devsim::Options options, ProtocolParameters params, CommSettings comm) {
    m_device.emplace(std::move(options));
    if (!m_device->start()) {
        qWarning("device: %s", m_device->error().c_str());
        return false;
    }
    m_host->ctx.devicePath = m_device->path();
    m_session.emplace(*m_host);
    return m_session->prepare(params, comm) == DownloadSession::Setup::Ready;
}

} // namespace pexo::gui::test
