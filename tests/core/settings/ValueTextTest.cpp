#include "core/settings/ValueText.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

TEST(ValueText, HexScanFollowsTheScanConversion) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        {"", 0u},
        {"4000", 0x4000u},
        {"0x004000", 0x4000u},
        {" \t0X1fZ9", 0x1Fu},
        {"+0x10", 0x10u},
        {"-10", 0xFFFFFFF0u},
        {"-0x1", 0xFFFFFFFFu},
        {"FFFFFFFF", 0xFFFFFFFFu},
        {"0x", 0u},
        {"0xg", 0u},
        {"123456789", 0xFFFFFFFFu},
        {"-123456789", 0xFFFFFFFFu},
        {"00000000000000000000001", 1u},
        {"G12", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"x12", std::nullopt},
        {"- 1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scanHex(c.text), c.value) << '"' << c.text << '"';
}

TEST(ValueText, ScanWithoutHexDigitKeepsTheField) {
    std::int32_t field = 0x4000;
    EXPECT_FALSE(scanHexInto("Zebra", field));
    EXPECT_EQ(field, 0x4000);
    EXPECT_TRUE(scanHexInto("0x80000000", field));
    EXPECT_EQ(field, INT32_MIN);
    std::uint32_t pattern = 5;
    EXPECT_TRUE(scanHexInto("", pattern));
    EXPECT_EQ(pattern, 0u);
}

TEST(ValueText, DecimalReadTakesLeadingDigitsAndClamps) {
    EXPECT_EQ(readDecimal("-1"), -1);
    EXPECT_EQ(readDecimal(" +42ms"), 42);
    EXPECT_EQ(readDecimal("2147483647"), INT32_MAX);
    EXPECT_EQ(readDecimal("-2147483648"), INT32_MIN);
    EXPECT_EQ(readDecimal("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(readDecimal("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(readDecimal(""), std::nullopt);
    EXPECT_EQ(readDecimal("ten"), std::nullopt);
    EXPECT_EQ(readDecimal("-"), std::nullopt);
}

TEST(ValueText, HexFormatsPadButNeverCut) {
    EXPECT_EQ(formatHex(0x22, 4), "0x0022");
    EXPECT_EQ(formatHex(0x100, 4), "0x0100");
    EXPECT_EQ(formatHex(0x1FFFFF, 4), "0x1FFFFF");
    EXPECT_EQ(formatHex(0x4000, 6), "0x004000");
    EXPECT_EQ(formatHex(0xFFFFFFFF, 6), "0xFFFFFFFF");
    EXPECT_EQ(formatHex(0xABCDEF, 8), "0x00ABCDEF");
    EXPECT_EQ(formatDecimal(-1), "-1");
}

} // namespace
} // namespace pexo
