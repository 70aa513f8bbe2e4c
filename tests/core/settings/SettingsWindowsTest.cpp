// What only the Windows side does: attributes, access rights by trying, the known folders.
#include "SettingsFileFixture.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/StationSettings.h"

#include <windows.h>

namespace pexo {
namespace {

std::string variable(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return fs::path(std::wstring(value, length < 32768 ? length : 0)).string();
}

TEST_F(SettingsFileTest, WritableIsFoundByTryingAndLeavesNoProbeBehind) {
    const auto writable = systemSettingsEnvironment().writable;
    spit(iniFolder() / "PexoUDef.INI", "x");
    spit(iniFolder() / "locked.ini", "x");
    ::SetFileAttributesW((root_ / "INI" / "locked.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    const struct {
        fs::path path;
        bool writable;
    } cases[] = {
        {root_ / "INI", true},      {root_ / "INI" / "", true},
        {iniFile(), true},          {root_ / "INI" / "locked.ini", false},
        {root_ / "missing", false}, {root_ / "missing" / "PexoUDef.INI", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(writable(c.path.string()), c.writable) << c.path.string();
    EXPECT_EQ(filesIn(root_ / "INI"), 2u);
}

TEST_F(SettingsFileTest, ReplacementKeepsTheFilesAttributes) {
    spit(iniFolder() / "PexoUDef.INI", "[Other]\nx=1\n");
    ASSERT_TRUE(::SetFileAttributesW(iniFile().c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::GetFileAttributesW(iniFile().c_str()) & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(SaveCommSettings(CommSettings{}, SettingsSection::User));
    EXPECT_EQ(slurp(iniFile()).rfind("[Other]\nx=1\n\n[RS232C UserSettings]\nPort=0\n", 0), 0u);
    EXPECT_TRUE(::GetFileAttributesW(iniFile().c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(filesIn(root_ / "INI"), 1u);

    // A folder, or a device, in the file's place is neither read nor replaced.
    EXPECT_EQ(readWholeFile((root_ / "INI").string()).status, FileReadStatus::Failed);
    EXPECT_EQ(readWholeFile("NUL").status, FileReadStatus::Failed);
    EXPECT_FALSE(replaceWholeFile((root_ / "INI").string(), "x"));
    EXPECT_EQ(readWholeFile((root_ / "none" / "a.ini").string()).status, FileReadStatus::Missing);
}

TEST(UserFolders, SettingsRoamAndRecordsStayOnTheMachine) {
    EXPECT_EQ(systemSettingsEnvironment().configFolder(), variable(L"APPDATA"));
    EXPECT_EQ(defaultRecordFile(), variable(L"LOCALAPPDATA") + "\\Pexo\\records.jsonl");
    EXPECT_EQ(userSettingsFile("C:\\Users\\op\\AppData\\Roaming"),
              "C:\\Users\\op\\AppData\\Roaming\\Pexo\\PexoUDef.INI");
}

} // namespace
} // namespace pexo
