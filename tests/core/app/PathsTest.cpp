#include "PathsFixture.h"

namespace pexo {
namespace {

TEST_F(PathsTest, FailuresLeaveTheBufferUntouched) {
    use("", "");
    std::string out = "unchanged";
    EXPECT_FALSE(ResolvePath(PathKind::ArchiverLibrary, out));
    EXPECT_FALSE(ResolvePath(PathKind::SettingsFile, out));
    EXPECT_FALSE(ResolvePath(PathKind::ExtractFolder, out));
    use("/x/pexo", "/w");
    EXPECT_FALSE(ResolvePath(static_cast<PathKind>(3), out));
    EXPECT_EQ(out, "unchanged");
}

TEST(SystemPaths, ExecutableIsThisTest) {
    const std::string exe = systemPathEnvironment().executablePath();
    EXPECT_NE(exe.find("pexo_core_app_tests"), std::string::npos) << exe;
}

} // namespace
} // namespace pexo
