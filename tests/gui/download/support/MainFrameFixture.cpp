#include "MainFrameFixture.h"

#include "core/settings/CommSettings.h"
#include "core/settings/PortDevices.h"
#include "core/settings/SettingsFile.h"

#include <QDir>
#include <QtTest>

namespace pexo::gui::test {

void TestFrame::load(std::vector<std::uint8_t> bytes) {
    m_image = std::move(bytes);
    imageFile() = "/tmp/pexo-test-image.bin";
    imageSize() = static_cast<std::uint32_t>(m_image.size());
    OnUpdateDownload();
}

MainFrameFixture::MainFrameFixture() {
    const std::string root = m_dir.path().toStdString();
    QDir(m_dir.path()).mkpath(QStringLiteral("INI"));
    m_previous = setPathEnvironment(PathEnvironment{
        [root] { return root + "/pexo"; },
        [root] { return root + "/windows"; },
    });
}

MainFrameFixture::~MainFrameFixture() {
    setPathEnvironment(m_previous);
}

std::string MainFrameFixture::com1Path() const {
    return m_dir.filePath("COM1").toStdString();
}

bool MainFrameFixture::writeSettings(const ProtocolParameters& params, const std::string& com1) {
    const std::string file = m_dir.filePath("INI/PexoUDef.INI").toStdString();
    PortDevices devices;
    devices.com1 = com1;
    // No parity: this machine's pseudo-terminals refuse it once the line already runs at
    // the requested speed, which would fail every download after the first.
    CommSettings comm;
    comm.Parity = 0;
    return SaveProtocolParameters(params, SettingsSection::User, file) &&
           SaveCommSettings(comm, SettingsSection::User, file) && SavePortDevices(devices, file);
}

std::unique_ptr<TestFrame> MainFrameFixture::makeFrame(std::vector<std::uint8_t> image) {
    auto frame = std::make_unique<TestFrame>();
    frame->load(std::move(image));
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get()))
        return nullptr;
    return frame;
}

} // namespace pexo::gui::test
