#include "cli/PortList.h"

#include <gtest/gtest.h>
#include <variant>

namespace pexo::cli {
namespace {

struct NameCase {
    const char* given;
    const char* name;       // nullptr: refused
    const char* devicePath;
    std::int32_t listPosition;
};

TEST(CliPortsWindows, AnyComPortByNameOrDevicePath) {
    const NameCase cases[] = {
        {"COM7", "COM7", "\\\\.\\COM7", 5},
        {"com12", "COM12", "\\\\.\\COM12", 5},
        {"\\\\.\\COM255", "COM255", "\\\\.\\COM255", 5},
        {"COM1", "COM1", "\\\\.\\COM1", 0},
        {"\\\\.\\com2", "COM2", "\\\\.\\COM2", 1},
        {"COM0", nullptr, nullptr, 0},
        {"COM256", nullptr, nullptr, 0},
        {"COM07", nullptr, nullptr, 0},
        {"COM", nullptr, nullptr, 0},
        {"/dev/ttyS0", nullptr, nullptr, 0},
        {"\\\\.\\PhysicalDrive0", nullptr, nullptr, 0},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.given);
        const auto chosen = choosePorts({c.given}, 5, PortDevices{});
        if (!c.name) {
            ASSERT_TRUE(std::holds_alternative<std::string>(chosen));
            EXPECT_NE(std::get<std::string>(chosen).find(c.given), std::string::npos);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::vector<PortChoice>>(chosen));
        const PortChoice& port = std::get<std::vector<PortChoice>>(chosen).front();
        EXPECT_EQ(port.name, c.name);
        EXPECT_EQ(port.devicePath, c.devicePath);
        EXPECT_EQ(port.listPosition, c.listPosition);
    }
    EXPECT_TRUE(std::holds_alternative<std::string>(choosePorts({"COM7", "\\\\.\\com7"}, 0, {})))
        << "one port named two ways";
    const auto fromSettings = choosePorts({}, 1, PortDevices{});
    EXPECT_EQ(std::get<std::vector<PortChoice>>(fromSettings).front().devicePath, "\\\\.\\COM2");
}

} // namespace
} // namespace pexo::cli
