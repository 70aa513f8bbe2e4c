#include "archiver/MemberName.h"

#include "archiver/ExtractFolder.h"
#include "archiver/PexoArc.h"

#include <cctype>
#include <gtest/gtest.h>

namespace pexo::archiver {
namespace {

TEST(MemberNameTest, OnlyTheLastPartIsKept) {
    EXPECT_EQ(flatMemberName("IMAGE.BIN"), "IMAGE.BIN");
    EXPECT_EQ(flatMemberName("subdir/subdir2/hello.txt"), "hello.txt");
    EXPECT_EQ(flatMemberName("../evil.txt"), "evil.txt");
    EXPECT_EQ(flatMemberName("foo/../../evil2.txt"), "evil2.txt");
    EXPECT_EQ(flatMemberName("/tmp/absolute_path.txt"), "absolute_path.txt");
    EXPECT_EQ(flatMemberName("SUBDIR\\SUBDIR2\\HELLO.TXT"), "HELLO.TXT");
    EXPECT_EQ(flatMemberName("Long Filename.txt"), "Long Filename.txt");
    EXPECT_EQ(flatMemberName(std::string(255, 'a')), std::string(255, 'a'));
}

TEST(MemberNameTest, UnusableNamesAreSkipped) {
    for (std::string_view name :
         {"", "/", "dir/", "..", ".", "a/..", "a/.", "..\\", "bad\x1b]2;x\x07", "tab\tname",
          "del\x7f"}) {
        EXPECT_FALSE(flatMemberName(name)) << name;
    }
    EXPECT_FALSE(flatMemberName(std::string(256, 'a')));

    // A member renamed onto the lock file would let two programs hold "the" lock at once.
    std::string shouted = PEXOARC_LOCK_FILE_NAME;
    for (char& c : shouted)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {std::string(PEXOARC_LOCK_FILE_NAME),
                                    std::string("dir/" PEXOARC_LOCK_FILE_NAME), "..\\" + shouted}) {
        EXPECT_FALSE(flatMemberName(name)) << name;
    }
    EXPECT_TRUE(flatMemberName(std::string(PEXOARC_LOCK_FILE_NAME) + ".bin"));
}

TEST(MemberNameTest, NamesWindowsWouldAlterAreRefusedThere) {
    const std::pair<std::string_view, bool> rows[] = {
        // name, whether Windows stores a file under exactly this name
        {"IMAGE.BIN", true},        {"Long Filename.txt", true}, {"con.txt.bak", false},
        {"CON", false},             {"con.bin", false},          {"Nul", false},
        {"AUX.lzh", false},         {"prn", false},              {"COM1", false},
        {"com9.bin", false},        {"LPT1.txt", false},         {"lpt0", false},
        {"COM\xC2\xB9", false},     {"CONIN$", false},           {"conout$.x", false},
        {"CON .txt", false},        {"CONSOLE", true},           {"COM10", true},
        {"LPT", true},              {"xCON", true},              {"image.bin.", false},
        {"image.bin ", false},      {"...", false},              {"C:", false},
        {"C:evil.bin", false},      {"IMAGE.BIN:stream", false}, {"a<b", false},
        {"a>b", false},             {"a\"b", false},             {"a|b", false},
        {"a?b", false},             {"a*b", false},              {"\\\\server\\share", false},
        {"a/b", false},             {"PEXO~1.LOC", false},       {"pexo~2.loc", false},
        {"FILE~1.BIN", true},       {".hidden", true},           {" leading", true},
        {"\xE6\x97\xA5\xE6\x9C\xAC.bin", true},
    };
    for (const auto& [name, stored] : rows)
        EXPECT_EQ(windowsCanHold(name), stored) << name;
    // The platform's rule is the one extraction applies.
    for (const auto& [name, stored] : rows) {
        if (name.find_first_of("/\\") == std::string_view::npos) {
            EXPECT_EQ(flatMemberName(name).has_value(), ExtractFolder::canHold(name)) << name;
        }
    }
}

TEST(MemberNameTest, TrailingSlashesAreStrippedForFolderChecks) {
    EXPECT_EQ(withoutTrailingSlashes("/tmp/PexoTEMP/"), "/tmp/PexoTEMP");
    EXPECT_EQ(withoutTrailingSlashes("/tmp/PexoTEMP///"), "/tmp/PexoTEMP");
    EXPECT_EQ(withoutTrailingSlashes("rel"), "rel");
    EXPECT_EQ(withoutTrailingSlashes("/"), "/");
    EXPECT_EQ(withoutTrailingSlashes("//"), "/");
}

} // namespace
} // namespace pexo::archiver
