#include "core/settings/PortDevices.h"
#include "support/ScratchFolder.h"
#include "core/settings/SettingsFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pexo {

using test::ScratchFolder;
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The settings file shipped in the program folder must be exactly what the program itself
// writes for the built-in defaults, so that "Default" in a dialog restores the same values.
TEST(ShippedSettings, EqualsTheDefaultSectionsTheProgramWrites) {
    const ScratchFolder dir("pexo-shipped");
    const std::string file = (dir.path() / "PexoUDef.INI").string();
    ASSERT_TRUE(SaveCommSettings(CommSettings{}, SettingsSection::Default, file));
    ASSERT_TRUE(SaveProtocolParameters(ProtocolParameters{}, SettingsSection::Default, file));
    ASSERT_TRUE(SavePortDevices(PortDevices{}, file));
    EXPECT_EQ(slurp(file), slurp(std::string(PEXO_TEST_SOURCE_DIR) + "/../packaging/PexoUDef.INI"));
}

} // namespace
} // namespace pexo
