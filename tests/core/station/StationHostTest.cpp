// What the station asks of the system: this machine's name and whether a port is there.
#include "core/station/StationHost.h"

#include "support/ScratchFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace pexo {

using test::ScratchFolder;
namespace {

TEST(StationHost, NamesThisMachineAndFindsOnlyPortsThatAreThere) {
    const std::string host = hostName();
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host.find('\0'), std::string::npos);

    const ScratchFolder folder("pexo-station-host");
    const auto node = folder.path() / "ttyUSB0";
    std::ofstream(node) << "";
    const struct {
        std::string device;
        bool present;
    } cases[] = {
        {node.string(), true}, {(folder.path() / "ttyUSB1").string(), false},
        {"COM250", false},     {"\\\\.\\COM250", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portDevicePresent(c.device), c.present) << c.device;
}

} // namespace
} // namespace pexo
