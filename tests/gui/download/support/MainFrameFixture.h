#pragma once

#include "core/app/Paths.h"
#include "core/settings/ProtocolParameters.h"
#include "gui/app/CMainFrame.h"

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace pexo::gui::test {

// The main window with an image in memory, as an opened archive leaves it, without the
// archiver: the tests here are about what happens from the Download command on.
class TestFrame : public CMainFrame {
    Q_OBJECT
public:
    void load(std::vector<std::uint8_t> bytes);
    std::span<const std::uint8_t> imageBytes() const override { return m_image; }
    const std::vector<std::uint8_t>& image() const { return m_image; }

private:
    std::vector<std::uint8_t> m_image;
};

// A program folder of its own for one test: the settings file the main window reads, and a
// fixed name for COM1 that points at whatever device the test starts.
class MainFrameFixture {
public:
    MainFrameFixture();
    ~MainFrameFixture();

    bool valid() const { return m_dir.isValid(); }
    // Where COM1 leads: make the device's link here.
    std::string com1Path() const;
    // Writes the user sections; call before makeFrame().
    bool writeSettings(const ProtocolParameters& params, const std::string& com1);
    // A main window built from the settings file, holding `image`, shown.
    std::unique_ptr<TestFrame> makeFrame(std::vector<std::uint8_t> image);

private:
    QTemporaryDir m_dir;
    PathEnvironment m_previous;
};

} // namespace pexo::gui::test
