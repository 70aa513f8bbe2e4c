#include "core/settings/IniDocument.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

TEST(IniDocument, ReplacingAValueLeavesEveryOtherByteAlone) {
    const std::string longValue(70 * 1024, 'x');
    const std::string before = "; operator notes \xE9\xFF\r\n"
                               "[Other]\r\n"
                               "Port=9\r\n"
                               "[Param UserSettings]\r\n"
                               "garbage line without equals\r\n"
                               "Long=" +
                               longValue +
                               "\r\n"
                               "  code30 =  25  \r\n"
                               "Code30=77\r\n"
                               "Bytes=\x80\x81\xFE\r\n";
    IniDocument doc(before);
    ASSERT_TRUE(doc.set("param usersettings", "Code30", "10"));
    std::string expected = before;
    expected.replace(expected.find("25"), 2, "10");
    EXPECT_EQ(doc.text(), expected);
    // The repeated key after the first is not the one that counts.
    EXPECT_EQ(doc.get("Param UserSettings", "CODE30"), "10");
    EXPECT_EQ(doc.get("Param UserSettings", "Long"), longValue);
    EXPECT_EQ(doc.get("Param UserSettings", "Bytes"), "\x80\x81\xFE");
}

TEST(IniDocument, MissingKeyGoesAfterTheSectionsLastKeyNotAfterWhatLeadsIntoTheNext) {
    IniDocument doc("[A]\n"
                    "a=1\n"
                    "; about b\n"
                    "b=2\n"
                    "\n"
                    "; about section B\n"
                    "[B]\n"
                    "x=1\n");
    ASSERT_TRUE(doc.set("A", "c", "3"));
    ASSERT_TRUE(doc.set("B", "y", "2"));
    EXPECT_EQ(doc.text(), "[A]\n"
                          "a=1\n"
                          "; about b\n"
                          "b=2\n"
                          "c=3\n"
                          "\n"
                          "; about section B\n"
                          "[B]\n"
                          "x=1\n"
                          "y=2\n");
}

TEST(IniDocument, NewKeysAndSectionsTakeTheFilesLineEnding) {
    IniDocument crlf("[A]\r\na=1");
    ASSERT_TRUE(crlf.set("A", "b", "2"));
    ASSERT_TRUE(crlf.set("New", "k", "v"));
    EXPECT_EQ(crlf.text(), "[A]\r\na=1\r\nb=2\r\n\r\n[New]\r\nk=v\r\n");

    IniDocument empty;
    ASSERT_TRUE(empty.set("S", "k", "v"));
    ASSERT_TRUE(empty.set("S", "k2", "v2"));
    EXPECT_EQ(empty.text(), "[S]\nk=v\nk2=v2\n");

    IniDocument headerOnly("[S]\n\n");
    ASSERT_TRUE(headerOnly.set("s", "k", "v"));
    EXPECT_EQ(headerOnly.text(), "[S]\nk=v\n\n");
}

TEST(IniDocument, RepeatedSectionsAndKeysFirstOneCounts) {
    IniDocument doc("[S]\nk=first\nk=second\n[T]\n[s]\nk=third\nonly=later\n");
    EXPECT_EQ(doc.get("S", "k"), "first");
    // A key only present in the repeated section is not seen, so it is added to the first.
    EXPECT_EQ(doc.get("S", "only"), std::nullopt);
    ASSERT_TRUE(doc.set("S", "only", "now"));
    EXPECT_EQ(doc.text(), "[S]\nk=first\nk=second\nonly=now\n[T]\n[s]\nk=third\nonly=later\n");
}

TEST(IniDocument, ToleratesHandEditedText) {
    const IniDocument doc("\xEF\xBB\xBF[ Lead ]\n"
                          "orphan line\n"
                          "=no name\n"
                          "\tTabbed Key\t=\t value with blanks \t\n"
                          "Quoted=\"7\"\n"
                          "Empty=\n"
                          "[unterminated\n"
                          "stillLead=yes\n"
                          "[Next] trailing words\n"
                          "n=1\n");
    EXPECT_EQ(doc.get("lead", "tabbed key"), "value with blanks");
    EXPECT_EQ(doc.get("Lead", "Quoted"), "7");
    EXPECT_EQ(doc.get("Lead", "Empty"), "");
    EXPECT_EQ(doc.get("Lead", "stillLead"), "yes");
    EXPECT_EQ(doc.get("Next", "n"), "1");
    EXPECT_EQ(doc.get("Lead", "orphan line"), std::nullopt);
    EXPECT_EQ(doc.get("Missing", "n"), std::nullopt);
    EXPECT_EQ(IniDocument("k=1\n[S]\n").get("S", "k"), std::nullopt);
}

TEST(IniDocument, EmptyValueIsFilledAndUnstorableTextIsRefused) {
    IniDocument doc("[S]\nk =   \n");
    ASSERT_TRUE(doc.set("S", "K", "5"));
    EXPECT_EQ(doc.text(), "[S]\nk =5\n");

    const std::string before = doc.text();
    EXPECT_FALSE(doc.set("S", "k", "1\n[Injected]"));
    EXPECT_FALSE(doc.set("S", "k", " padded"));
    EXPECT_FALSE(doc.set("S", "a=b", "1"));
    EXPECT_FALSE(doc.set("S]x", "k", "1"));
    EXPECT_FALSE(doc.set("S", "", "1"));
    EXPECT_EQ(doc.text(), before);
}

} // namespace
} // namespace pexo
