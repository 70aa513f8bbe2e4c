#include "archiver/CommandLine.h"

#include <gtest/gtest.h>

namespace pexo::archiver {
namespace {

TEST(CommandLineTest, PlainAndQuotedPaths) {
    auto c = parseCommandLine("e -nyc /a/b.lzh /tmp/PexoTEMP/");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->archive, "/a/b.lzh");
    EXPECT_EQ(c->folder, "/tmp/PexoTEMP/");

    c = parseCommandLine("  e  -nyc\t\"/my files/a b.lzh\"   \"/tmp/Pexo TEMP/\"  ");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->archive, "/my files/a b.lzh");
    EXPECT_EQ(c->folder, "/tmp/Pexo TEMP/");

    c = parseCommandLine(R"(e -nyc "a\"b\\c\d.lzh" out/)");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->archive, R"(a"b\c\d.lzh)");

    // Outside quotes a backslash or quote is an ordinary character.
    c = parseCommandLine(R"(e -nyc C:\x\y.lzh o"ut/)");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->archive, R"(C:\x\y.lzh)");
    EXPECT_EQ(c->folder, R"(o"ut/)");
}

TEST(CommandLineTest, SwitchesAreOptionalAndChecked) {
    EXPECT_TRUE(parseCommandLine("e a.lzh out/"));
    EXPECT_TRUE(parseCommandLine("e -n -y -c a.lzh out/"));
    // A quoted path that starts with '-' is a path, not a switch.
    auto c = parseCommandLine("e -nyc \"-a.lzh\" out/");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->archive, "-a.lzh");
    EXPECT_FALSE(parseCommandLine("e -nyx a.lzh out/"));
    EXPECT_FALSE(parseCommandLine("e - a.lzh out/"));
}

TEST(CommandLineTest, MalformedLinesAreRefused) {
    for (const char* line : {"", "   ", "e", "e a.lzh", "e a.lzh out/ more", "x a.lzh out/",
                             "\"e\" a.lzh out/", "E a.lzh out/", "e \"a.lzh out/",
                             "e \"a\"b out/", "e \"\" out/", "e a.lzh \"\""}) {
        EXPECT_FALSE(parseCommandLine(line)) << line;
    }
}

} // namespace
} // namespace pexo::archiver
