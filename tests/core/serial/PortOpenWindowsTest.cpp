#include "SerialTestSupport.h"
#include "core/serial/PortDescription.h"
#include "core/serial/PortDevice.h"
#include "core/serial/PortOpenFailure.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

namespace pexo::test {
namespace {

TEST(PortOpenFailureWindows, SystemErrorsBecomeTheKindsTheOperatorIsTold) {
    const struct {
        DWORD error;
        PortProblem problem;
        const char* words;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, PortProblem::Missing, "cannot open COM9: "},
        {ERROR_ACCESS_DENIED, PortProblem::InUse, "COM9 is in use by another program"},
        {ERROR_SHARING_VIOLATION, PortProblem::InUse, "COM9 is in use by another program"},
        {ERROR_GEN_FAILURE, PortProblem::Other, "cannot open COM9: "},
    };
    for (const auto& c : cases) {
        const PortOpenFailure failure = explainPortOpenFailure("COM9", static_cast<int>(c.error));
        EXPECT_EQ(failure.problem, c.problem) << c.error;
        const std::string text = failure.text();
        EXPECT_EQ(text.rfind(c.words, 0), 0u) << text;
        EXPECT_EQ(text.find("dialout"), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n') << text;
    }
}

TEST(PortOpenFailureWindows, APortThatIsNotThereFailsCleanly) {
    // The test runner maps COM1..COM16; beyond them there is nothing.
    for (const char* name : {"COM99", "\\\\.\\COM98", "com97"}) {
        SerialTestHost host;
        host.ctx.devicePath = name;
        const int handles = openHandleCount();
        PortOpenFailure why;
        EXPECT_EQ(openPort(host.ctx, nullptr, &why), 0) << name;
        EXPECT_EQ(why.problem, PortProblem::Missing) << name << ": " << why.text();
        EXPECT_EQ(host.ctx.commHandle, -1);
        EXPECT_FALSE(host.ctx.connected.load());
        EXPECT_EQ(openHandleCount(), handles) << name;
    }
}

TEST(PortDeviceWindows, ThePortNumbersNameTheComPortsThemselves) {
    DownloadContext ctx;
    for (const auto& [number, name] : {std::pair{1, "COM1"}, {2, "COM2"}, {7, "COM1"}}) {
        ctx.portNumber = static_cast<std::uint8_t>(number);
        EXPECT_EQ(resolvePortDevice(ctx), name) << number;
    }
}

TEST(PortDescriptionWindows, TheJoinedPortsAreListedAndDescribed) {
    PeerLine line; // the runner's pair: this test's port and the device's
    ASSERT_TRUE(line.ok());
    const std::vector<PortDescription> ports = listSerialPorts();
    std::vector<std::string> names;
    for (const PortDescription& port : ports)
        names.push_back(port.path);
    EXPECT_NE(std::find(names.begin(), names.end(), line.portName()), names.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), naturalLess));

    for (const std::string& name : {line.portName(), "\\\\.\\" + line.portName()}) {
        const auto described = describePort(name);
        ASSERT_TRUE(described.has_value()) << name;
        EXPECT_EQ(described->path, line.portName());
    }
    EXPECT_FALSE(describePort("COM99").has_value());
}

} // namespace
} // namespace pexo::test
