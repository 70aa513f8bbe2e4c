#include "core/app/Paths.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

class PathsTest : public ::testing::Test {
protected:
    void use(std::string exe, std::string windows) {
        saved_ = setPathEnvironment(PathEnvironment{[exe] { return exe; }, [windows] { return windows; }});
    }
    void TearDown() override { setPathEnvironment(saved_); }
    PathEnvironment saved_;
};

TEST_F(PathsTest, ProgramFolderLocationsFollowTheExecutableNotTheWorkingDirectory) {
    use("/opt/tools/loader/pexo", "/home/op/.cache/pexo/");
    EXPECT_EQ(resolvePath(PathKind::ArchiverLibrary), "/opt/tools/loader/DLL/UNLHA32.DLL");
    EXPECT_EQ(resolvePath(PathKind::SettingsFile), "/opt/tools/loader/INI/PexoUDef.INI");
}

TEST_F(PathsTest, ExtractFolderGetsExactlyOneSeparator) {
    use("/x/pexo", "/home/op/.cache/pexo");
    EXPECT_EQ(resolvePath(PathKind::ExtractFolder), "/home/op/.cache/pexo/TEMP/PexoTEMP/");
    use("/x/pexo", "/home/op/.cache/pexo/");
    EXPECT_EQ(resolvePath(PathKind::ExtractFolder), "/home/op/.cache/pexo/TEMP/PexoTEMP/");
}

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

TEST(SystemPaths, ExecutableIsThisTestAndCacheFollowsXdg) {
    const auto env = systemPathEnvironment();
    const std::string exe = env.executablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_NE(exe.find("pexo_core_app_tests"), std::string::npos);

    const char* oldXdg = std::getenv("XDG_CACHE_HOME");
    const std::string saved = oldXdg ? oldXdg : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CACHE_HOME", "/tmp/xdg-cache", 1);
    EXPECT_EQ(env.windowsFolder(), "/tmp/xdg-cache/pexo/");
    setenv("XDG_CACHE_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(env.windowsFolder(), "/home/someone/.cache/pexo/");
    setenv("HOME", savedHome.c_str(), 1);
    if (oldXdg)
        setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
}

} // namespace
} // namespace pexo
