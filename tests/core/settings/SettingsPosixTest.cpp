// What only the POSIX side does: file modes, FIFOs, symbolic links, the XDG folders.
#include "SettingsFileFixture.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/StationSettings.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace pexo {
namespace {

TEST_F(SettingsFileTest, ReadOnlyFolderIsLeftAsItWas) {
    // Permission bits do not stop the superuser; a procfs folder refuses everyone.
    const fs::path folder = ::geteuid() == 0 ? fs::path("/proc/self") : iniFolder();
    if (::geteuid() != 0)
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(SaveProtocolParameters(ProtocolParameters{}, SettingsSection::User,
                                        (folder / "PexoUDef.INI").string()));
    EXPECT_FALSE(fs::exists(folder / "PexoUDef.INI"));
    if (::geteuid() != 0)
        fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(SettingsFileTest, AFifoInTheFilesPlaceNeitherBlocksNorIsReplaced) {
    iniFolder();
    ASSERT_EQ(::mkfifo(iniFile().c_str(), 0600), 0);
    ProtocolParameters p;
    p.Code30 = 3;
    LoadProtocolParameters(p, SettingsSection::User);
    EXPECT_EQ(p.Code30, 3);
    EXPECT_FALSE(SaveProtocolParameters(p, SettingsSection::User));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(iniFile())));
}

TEST_F(SettingsFileTest, SaveKeepsTheModeAndWritesThroughASymbolicLink) {
    const fs::path real = iniFolder() / "shared.ini";
    spit(real, "[Other]\nx=1\n");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink("shared.ini", iniFile());
    ASSERT_TRUE(SaveCommSettings(CommSettings{}, SettingsSection::Default));
    EXPECT_TRUE(fs::is_symlink(iniFile()));
    EXPECT_EQ(slurp(real).rfind("[Other]\nx=1\n\n[RS232C Default]\nPort=0\n", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(filesIn(root_ / "INI"), 2u);
}

TEST_F(SettingsFileTest, TheUsersFolderIsTheUsersAlone) {
    spit(iniFolder() / "PexoUDef.INI", "[Param Default]\nCode30=20\n");
    programWritable_ = false;
    configFolder_ = (root_ / "config").string();
    ASSERT_TRUE(SaveCommSettings(CommSettings{}, SettingsSection::User));
    EXPECT_EQ(fs::status(userFile().parent_path()).permissions() & fs::perms::all,
              fs::perms::owner_all);
}

TEST(DefaultRecordFile, TheUsersDataFolderOrElseTheHomeFolders) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string savedData = data ? data : "";
    const std::string savedHome = home ? home : "";
    ::setenv("HOME", "/home/op", 1);
    ::setenv("XDG_DATA_HOME", "/data/op", 1);
    EXPECT_EQ(defaultRecordFile(), "/data/op/pexo/records.jsonl");
    ::setenv("XDG_DATA_HOME", "relative/data",
             1); // not absolute: the base-directory rules ignore it
    EXPECT_EQ(defaultRecordFile(), "/home/op/.local/share/pexo/records.jsonl");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(defaultRecordFile(), "/home/op/.local/share/pexo/records.jsonl");
    ::unsetenv("HOME");
    EXPECT_EQ(defaultRecordFile(), "");
    data ? ::setenv("XDG_DATA_HOME", savedData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    home ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

} // namespace
} // namespace pexo
