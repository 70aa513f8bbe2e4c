// What a record names of its port, from a fake device tree.
#include "core/station/PortIdentity.h"

#include "devsim/FakeDeviceTree.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pexo {
namespace {

namespace fs = std::filesystem;

TEST(PortIdentity, AnAdapterNamedByItsLinkIsRecordedByNodeLinksAndUsbIdentity) {
    const std::string root =
        (fs::temp_directory_path() / ("pexo-identity-" + std::to_string(::getpid()))).string();
    fs::create_directories(root);
    devsim::FakeDeviceTree fake(root);
    fake.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A5XK3RJT",
                 "usb-FTDI_A5XK3RJT-if00-port0", "", 2});
    const DeviceTree tree{fake.sysRoot(), fake.devRoot()};
    const std::string dev = fs::canonical(fake.devRoot()).string();

    const PortIdentity adapter =
        describeDevicePath(dev + "/serial/by-id/usb-FTDI_A5XK3RJT-if00-port0", tree);
    EXPECT_EQ(adapter.device, dev + "/ttyUSB0");
    EXPECT_EQ(adapter.byId, dev + "/serial/by-id/usb-FTDI_A5XK3RJT-if00-port0");
    EXPECT_FALSE(adapter.byPath) << "no by-path name: null, not empty";
    ASSERT_TRUE(adapter.usb);
    EXPECT_EQ(adapter.usb->serial, "A5XK3RJT");

    const PortIdentity gone = describeDevicePath(dev + "/ttyUSB9", tree);
    EXPECT_EQ(gone.device, dev + "/ttyUSB9");
    EXPECT_FALSE(gone.byId);
    EXPECT_FALSE(gone.usb);
    fs::remove_all(root);
}

} // namespace
} // namespace pexo
