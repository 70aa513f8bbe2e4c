#include "core/serial/PortDescription.h"

#include "devsim/FakeDeviceTree.h"
#include "support/PtyPair.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;
using devsim::FakeDeviceTree;

constexpr char kFtdiById[] = "usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0";
constexpr char kFtdiByPath[] = "pci-0000:00:14.0-usb-0:2:1.0-port0";

class PortDescriptions : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_);
        fake_.addUsb({"ttyUSB2", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A5XK3RJT",
                      kFtdiById, kFtdiByPath, 2});
        fake_.addUsb({"ttyACM0", "cdc_acm", "2341", "0043", "Arduino (www.arduino.cc)", "",
                      "7543931323", "usb-Arduino__www.arduino.cc__0043_7543931323-if00", "", 3});
        fake_.addUsb({"ttyUSB10", "ch341", "1A86", "7523", "", "", "", "", "", 4});
        fake_.addUart({"ttyS0", "serial", 4, true});      // a real UART, Linux 6.5 layout
        fake_.addUart({"ttyS1", "serial8250", 0, false}); // a placeholder, older layout
        fake_.addVirtual("tty0");
        tree_ = {fake_.sysRoot(), fake_.devRoot()};
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string dev(const std::string& name) const {
        return fs::canonical(fake_.devRoot()).string() + "/" + name;
    }

    const std::string root_ =
        (fs::temp_directory_path() / ("pexo-ports-" + std::to_string(::getpid()))).string();
    FakeDeviceTree fake_{root_};
    DeviceTree tree_;
};

TEST_F(PortDescriptions, TheListDescribesEveryRealPortInNaturalOrder) {
    const auto ports = listSerialPorts(tree_);
    const struct {
        std::string path, driver, vid, byId, summary;
    } expected[] = {
        {dev("ttyACM0"), "cdc_acm", "2341",
         dev("serial/by-id/usb-Arduino__www.arduino.cc__0043_7543931323-if00"),
         "Arduino (www.arduino.cc) (7543931323), 2341:0043, cdc_acm, by-id "
         "usb-Arduino__www.arduino.cc__0043_7543931323-if00"},
        {dev("ttyS0"), "serial", "", "", "serial port, serial"},
        {dev("ttyUSB2"), "ftdi_sio", "0403", dev(std::string("serial/by-id/") + kFtdiById),
         std::string("FTDI FT232R USB UART (A5XK3RJT), 0403:6001, ftdi_sio, by-id ") + kFtdiById},
        {dev("ttyUSB10"), "ch341", "1a86", "", "USB serial adapter, 1a86:7523, ch341"},
    };
    ASSERT_EQ(ports.size(), std::size(expected)); // no ttyS1 placeholder, no tty0
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(ports[i].path, expected[i].path);
        EXPECT_EQ(ports[i].driver, expected[i].driver);
        EXPECT_EQ(ports[i].usb ? ports[i].usb->vid : "", expected[i].vid);
        EXPECT_EQ(ports[i].byId, expected[i].byId);
        EXPECT_EQ(ports[i].summary(), expected[i].summary);
        EXPECT_FALSE(ports[i].pseudoTerminal);
    }
    const UsbIdentity& ftdi = *ports[2].usb;
    EXPECT_EQ(ftdi.pid, "6001");
    EXPECT_EQ(ftdi.manufacturer, "FTDI");
    EXPECT_EQ(ftdi.product, "FT232R USB UART");
    EXPECT_EQ(ftdi.serial, "A5XK3RJT");
    EXPECT_EQ(ports[2].byPath, dev(std::string("serial/by-path/") + kFtdiByPath));
}

TEST_F(PortDescriptions, APortNamedByItsLinksIsTheSamePort) {
    const auto byNode = describePort(dev("ttyUSB2"), tree_);
    ASSERT_TRUE(byNode);
    for (const std::string& name : {byNode->byId, byNode->byPath}) {
        const auto byLink = describePort(name, tree_);
        ASSERT_TRUE(byLink) << name;
        EXPECT_EQ(byLink->path, dev("ttyUSB2"));
        EXPECT_EQ(byLink->summary(), byNode->summary());
    }
}

TEST_F(PortDescriptions, NamingAPortDescribesWhatTheListLeavesOut) {
    const auto placeholder = describePort(dev("ttyS1"), tree_);
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(placeholder->driver, "serial8250");
    EXPECT_EQ(placeholder->summary(), "serial port, serial8250");

    const auto console = describePort(dev("tty0"), tree_);
    ASSERT_TRUE(console);
    EXPECT_EQ(console->driver, "");
    EXPECT_EQ(console->summary(), "no hardware details");

    EXPECT_FALSE(describePort(dev("ttyUSB7"), tree_));
    EXPECT_FALSE(describePort("", tree_));
}

TEST(PortDescription, APseudoTerminalHasItsPathOnly) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const auto port = describePort(pty.path());
    ASSERT_TRUE(port);
    EXPECT_EQ(port->path, fs::canonical(pty.path()).string());
    EXPECT_TRUE(port->pseudoTerminal);
    EXPECT_EQ(port->driver, "");
    EXPECT_FALSE(port->usb);
    EXPECT_EQ(port->summary(), "pseudo-terminal");
}

TEST(PortDescription, NaturalOrderComparesNumbersByValue) {
    EXPECT_TRUE(naturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(naturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(naturalLess("ttyS02", "ttyS3"));
    EXPECT_TRUE(naturalLess("ttyACM0", "ttyS0"));
    EXPECT_FALSE(naturalLess("ttyS1", "ttyS1"));
    EXPECT_TRUE(naturalLess("ttyS", "ttyS0"));
}

} // namespace
} // namespace pexo::test
