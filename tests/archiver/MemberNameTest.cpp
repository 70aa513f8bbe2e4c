#include "archiver/ExtractFolder.h"
#include "archiver/MemberName.h"

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
