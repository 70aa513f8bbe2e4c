#include "PathsFixture.h"

#include <cstdlib>

namespace pexo {
namespace {

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

TEST(SystemPaths, ExecutableIsAbsoluteAndCacheFollowsXdg) {
    const auto env = systemPathEnvironment();
    EXPECT_EQ(env.executablePath().rfind('/', 0), 0u);

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
