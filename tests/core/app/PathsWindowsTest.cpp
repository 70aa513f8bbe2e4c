#include "PathsFixture.h"
#include "core/app/Utf16.h"

#include <optional>
#include <windows.h>

namespace pexo {
namespace {

TEST_F(PathsTest, ProgramFolderLocationsFollowTheExecutableNotTheWorkingDirectory) {
    use("D:\\Tools\\Loader\\pexo.exe", "C:\\Users\\op\\AppData\\Local\\Temp\\");
    EXPECT_EQ(resolvePath(PathKind::ArchiverLibrary), "D:\\Tools\\Loader\\DLL\\UNLHA32.DLL");
    EXPECT_EQ(resolvePath(PathKind::SettingsFile), "D:\\Tools\\Loader\\INI\\PexoUDef.INI");
}

TEST_F(PathsTest, ExtractFolderIsTheUsersTemporaryFolderWithExactlyOneSeparator) {
    for (const char* base : {"C:\\Users\\op\\Temp", "C:\\Users\\op\\Temp\\"}) {
        use("D:\\pexo.exe", base);
        EXPECT_EQ(resolvePath(PathKind::ExtractFolder), "C:\\Users\\op\\Temp\\PexoTEMP\\") << base;
    }
}

std::optional<std::wstring> environmentVariable(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return length ? std::optional(std::wstring(value, length)) : std::nullopt;
}

TEST(SystemPaths, ExtractionBaseFollowsTheUsersTemporaryFolderInUtf8) {
    const auto savedTmp = environmentVariable(L"TMP");
    ::SetEnvironmentVariableW(L"TMP", L"C:\\Users\\Zo\u00eb\\Temp");
    const std::string base = systemPathEnvironment().windowsFolder();
    ::SetEnvironmentVariableW(L"TMP", savedTmp ? savedTmp->c_str() : nullptr);
    EXPECT_EQ(base, "C:\\Users\\Zo\xc3\xab\\Temp\\");
}

TEST(Utf16, RoundTripsAndRefusesInvalidText) {
    EXPECT_EQ(toUtf16("Zo\xc3\xab \xf0\x9f\x94\x8c"), L"Zo\u00eb \U0001F50C");
    EXPECT_EQ(toUtf8(L"Zo\u00eb \U0001F50C"), "Zo\xc3\xab \xf0\x9f\x94\x8c");
    EXPECT_EQ(toUtf16(""), L"");
    EXPECT_EQ(toUtf16("\xc3"), std::nullopt) << "a sequence cut short";
    EXPECT_EQ(toUtf16("\xc0\xaf"), std::nullopt) << "an overlong form of '/'";
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD800))), std::nullopt) << "a lone surrogate";
}

} // namespace
} // namespace pexo
