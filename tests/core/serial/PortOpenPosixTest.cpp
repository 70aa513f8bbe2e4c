#include "SerialFixtures.h"
#include "Termios2Probe.h"
#include "core/app/Paths.h"
#include "core/serial/PortDevice.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace pexo::test {
namespace {

// What only a pseudo-terminal shows: the termios the port was given, paths that are no tty,
// the settings file's device paths.
using PortOpenPosix = PortOpenFixture<PtyPair>;

TEST_F(PortOpenPosix, ALineOpenedAgainWithParityOpensAgain) {
    // A pseudo-terminal keeps 8N1 whatever is asked; the second time, parity is all that
    // would change, and the driver says EINVAL.
    host.ctx.parity = 2;
    for (int round = 0; round < 3; ++round) {
        std::string why;
        ASSERT_EQ(openPort(host, recorder.sink(), &why), 1) << "round " << round << ": " << why;
        closePort(host);
    }
}

TEST_F(PortOpenPosix, PathsThatAreNoSerialPortFailCleanly) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("pexo-serial-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "not-a-tty";
    std::ofstream(file) << "data";

    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir / "missing").string(), "No such file"},
        {file.string(), "not a serial device"},
        {dir.string(), "cannot open"},
        {"/dev/null", "not a serial device"},
    };
    const int descriptors = openDescriptorCount();
    for (const auto& c : cases) {
        host.ctx.devicePath = c.path;
        std::string why;
        EXPECT_EQ(openPort(host, recorder.sink(), &why), 0) << c.path;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find(c.path), std::string::npos) << why;
        expectClosed(host.ctx);
        EXPECT_EQ(openDescriptorCount(), descriptors) << "left open by " << c.path;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(PortOpenPosix, LineSettingsReachTheDevice) {
    host.ctx.baudRate = 19200;
    host.ctx.stopBits = 2;
    host.ctx.flowControl = 0x02 | 0x04;
    ASSERT_EQ(openPort(host, recorder.sink()), 1);

    // Read back through the test's own descriptor of the same tty. (A pty keeps neither
    // parity nor a data size other than 8, so those are checked on the termios alone.)
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(t.c_oflag & OPOST);

    // configurePort applies changed settings to the open port.
    host.ctx.baudRate = 115200;
    host.ctx.stopBits = 0;
    host.ctx.flowControl = 0;
    EXPECT_EQ(configurePort(host), 1);
    ASSERT_EQ(::tcgetattr(pty.slaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_FALSE(t.c_cflag & (CSTOPB | CRTSCTS));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
}

TEST_F(PortOpenPosix, RatesOutsideTermiosNamesAreSetExactly) {
    for (std::uint32_t rate : {14400u, 56000u, 128000u, 256000u}) {
        host.ctx.baudRate = rate;
        std::string why;
        ASSERT_EQ(openPort(host, recorder.sink(), &why), 1) << rate << ": " << why;
        EXPECT_EQ(kernelOutputRate(pty.slaveFd()), rate);
        closePort(host);
    }
}

class PortDeviceSettings : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("pexo-serial-ini-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "INI");
        const std::string exe = (dir_ / "pexo").string();
        previous_ = setPathEnvironment({[exe] { return exe; }, [] { return std::string(); }});
    }
    void TearDown() override {
        setPathEnvironment(previous_);
        std::filesystem::remove_all(dir_);
    }
    void writeSettings(const std::string& text) {
        std::ofstream(dir_ / "INI" / "PexoUDef.INI") << text;
    }

    std::filesystem::path dir_;
    PathEnvironment previous_;
};

TEST_F(PortDeviceSettings, WithoutEntriesThePortNumbersGiveTheBuiltInDevices) {
    DownloadContext ctx;
    ctx.portNumber = 1;
    EXPECT_EQ(resolvePortDevice(ctx), "/dev/ttyS0");
    ctx.portNumber = 2;
    EXPECT_EQ(resolvePortDevice(ctx), "/dev/ttyS1");
    ctx.portNumber = 7; // anything but 2 is COM1
    EXPECT_EQ(resolvePortDevice(ctx), "/dev/ttyS0");
}

TEST_F(PortDeviceSettings, TheSettingsFileNamesTheDeviceOfEachPort) {
#ifndef PEXO_HAVE_PORT_DEVICES
    GTEST_SKIP() << "built without the settings library";
#else
    writeSettings("[RS232C Devices]\nCOM1=/dev/ttyUSB0\nCOM2=/dev/serial/by-id/usb-x\n");
    DownloadContext ctx;
    ctx.portNumber = 1;
    EXPECT_EQ(resolvePortDevice(ctx), "/dev/ttyUSB0");
    ctx.portNumber = 2;
    EXPECT_EQ(resolvePortDevice(ctx), "/dev/serial/by-id/usb-x");
#endif
}

TEST_F(PortDeviceSettings, OpenFindsThePortThroughItsName) {
#ifndef PEXO_HAVE_PORT_DEVICES
    GTEST_SKIP() << "built without the settings library";
#else
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    writeSettings("[RS232C Devices]\nCOM2=" + pty.path() + "\n");
    SerialTestHost host;
    host.ctx.portNumber = 2;
    std::string why;
    ASSERT_EQ(openPort(host, nullptr, &why), 1) << why;
    const std::uint8_t byte = 0xD6;
    EXPECT_EQ(writePort(host, &byte, 1), 1);
    EXPECT_EQ(pty.receiveOnDevice(1, kDeadline), std::vector<std::uint8_t>{0xD6});
    closePort(host);
#endif
}

} // namespace
} // namespace pexo::test
