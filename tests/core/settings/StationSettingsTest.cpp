#include "core/settings/StationSettings.h"

#include "support/ScratchFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pexo {

using test::ScratchFolder;
namespace {

namespace fs = std::filesystem;

class StationSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { file_ = (root_.path() / "PexoUDef.INI").string(); }

    std::string read() const {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& bytes) const { std::ofstream(file_, std::ios::binary) << bytes; }

    ScratchFolder root_{"pexo-station-settings"};
    std::string file_;
};

TEST_F(StationSettingsTest, SavedSettingsReadBackAndOtherSectionsStayByteForByte) {
    const std::string others = "; the operator's note\r\n[RS232C UserSettings]\r\nPort=1\r\n"
                               "\r\n[Param UserSettings]\r\nCode30=10\r\n";
    write(others);
    StationSettings saved;
    saved.ports = {"/dev/serial/by-id/usb-FTDI_A-if00-port0", "/dev/ttyUSB1", "/dev/pts/7"};
    saved.recordFile = "/srv/line 2/records.csv";
    saved.retries = 9;
    saved.goneAfterMs = 1500;
    ASSERT_TRUE(SaveStationSettings(saved, file_));

    const std::string text = read();
    EXPECT_EQ(text.substr(0, others.size()), others);
    EXPECT_NE(text.find("[Station UserSettings]\r\n"), std::string::npos) << text;
    StationSettings loaded;
    ASSERT_TRUE(LoadStationSettings(loaded, file_));
    EXPECT_EQ(loaded.ports, saved.ports);
    EXPECT_EQ(loaded.recordFile, saved.recordFile);
    EXPECT_EQ(loaded.retries, 9u);
    EXPECT_EQ(loaded.goneAfterMs, 1500u);

    // Fewer ports next time: the ones left out do not come back.
    saved.ports = {"/dev/ttyUSB1"};
    ASSERT_TRUE(SaveStationSettings(saved, file_));
    ASSERT_TRUE(LoadStationSettings(loaded, file_));
    EXPECT_EQ(loaded.ports, std::vector<std::string>{"/dev/ttyUSB1"});
}

TEST_F(StationSettingsTest, MissingDamagedOrOutOfRangeValuesGiveTheBuiltInOnes) {
    const struct {
        const char* section;
        unsigned retries, goneAfter;
        std::vector<std::string> ports;
    } cases[] = {
        {"", 0, 2000, {}},
        {"Retries=10\nGoneAfter=99\nPortCount=2\nPort1=/dev/a\n", 0, 2000, {"/dev/a"}},
        {"Retries=-1\nGoneAfter=600001\nPortCount=x\nPort1=/dev/a\n", 0, 2000, {}},
        {"Retries=3\nGoneAfter=100\nPortCount=3\nPort1=/dev/a\nPort2=/dev/a\nPort3=\n",
         3,
         100,
         {"/dev/a"}},
        {"PortCount=100000\nPort1=/dev/a\n", 0, 2000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        write(std::string("[Station UserSettings]\n") + c.section);
        StationSettings loaded;
        loaded.ports = {"/dev/stale"};
        ASSERT_TRUE(LoadStationSettings(loaded, file_));
        EXPECT_EQ(loaded.retries, c.retries);
        EXPECT_EQ(loaded.goneAfterMs, c.goneAfter);
        EXPECT_EQ(loaded.ports, c.ports);
    }
}

TEST_F(StationSettingsTest, ANameThatWouldNotReadBackLeavesTheFileAsItWas) {
    write("[Station UserSettings]\nRetries=2\n");
    StationSettings bad;
    bad.ports = {"/dev/tty\nUSB0"};
    EXPECT_FALSE(SaveStationSettings(bad, file_));
    EXPECT_EQ(read(), "[Station UserSettings]\nRetries=2\n");
    EXPECT_FALSE(SaveStationSettings(StationSettings{}, ""));
}

} // namespace
} // namespace pexo
