#include "core/settings/ParameterChecks.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

TEST(ParameterChecks, IntegerTextsAreStrictAndRangesNamedInDecimal) {
    const DecimalRange interval{1, 1000};
    std::int32_t v = 77;
    EXPECT_EQ(readIntegerText(" \t+25\t ", interval, v), std::nullopt);
    EXPECT_EQ(v, 25);
    for (const char* notInteger : {"", "  ", "-", "12ms", "1 2", "0x10", "1.5", "\n5"}) {
        EXPECT_EQ(readIntegerText(notInteger, interval, v), "Please enter an integer.")
            << '"' << notInteger << '"';
    }
    EXPECT_EQ(readIntegerText("0", interval, v), "Please enter an integer between 1 and 1000.");
    EXPECT_EQ(readIntegerText("-5", interval, v), "Please enter an integer between 1 and 1000.");
    EXPECT_EQ(readIntegerText("99999999999999999999999", interval, v),
              "Please enter an integer between 1 and 1000.");
    EXPECT_EQ(v, 25) << "a refused text leaves the value alone";
}

TEST(ParameterChecks, OkAcceptsTheFilledControlsUnchanged) {
    ProtocolParameters p;
    p.Code63_1 = 0x80; // a write range that OK accepts
    p.Code63_2 = 0x100;
    const ParameterInput in = parameterInputFrom(p);
    EXPECT_EQ(in.Code62_1, "0x004000");
    EXPECT_EQ(in.Code62_2, "0x0022");
    EXPECT_EQ(in.Code63_2, "0x0100");
    EXPECT_EQ(in.Code72, "0xFFFFFFFF");
    ProtocolParameters out;
    out.Code30 = 1;
    EXPECT_EQ(acceptParameters(in, out), std::nullopt);
    EXPECT_EQ(out, p);
}

TEST(ParameterChecks, FirstFailureInReadingOrderWinsAndEarlierFieldsAreTaken) {
    ParameterInput in = parameterInputFrom(ProtocolParameters{});
    in.Code30 = "20";
    in.Code31 = "1800001";
    in.Code53 = "x";
    ProtocolParameters p;
    EXPECT_EQ(acceptParameters(in, p),
              (ParameterError{ParameterField::Code31,
                              "Please enter an integer between 1 and 1800000.", true}));
    EXPECT_EQ(p.Code30, 20);

    in.Code31 = "5";
    EXPECT_EQ(acceptParameters(in, p)->field, ParameterField::Code53);
    in.Code30 = "0";
    EXPECT_EQ(acceptParameters(in, p),
              (ParameterError{ParameterField::Code30, "Please enter an integer between 1 and 1000.",
                              true}));
}

TEST(ParameterChecks, HexTextsParseThenCheckOnOkOnly) {
    ParameterInput in = parameterInputFrom(ProtocolParameters{});
    in.Code62_1 = "4000";
    in.Code72 = "ffffffff";
    ProtocolParameters p;
    p.Code72 = 0;
    ASSERT_EQ(acceptParameters(in, p), std::nullopt);
    EXPECT_EQ(p.Code62_1, 0x4000);
    EXPECT_EQ(p.Code72, 0xFFFFFFFFu);
    EXPECT_EQ(parameterInputFrom(p).Code62_1, "0x004000");

    in.Code62_2 = "";
    in.Code63_2 = "0x80000000";
    EXPECT_EQ(acceptParameters(in, p)->message,
              "Code62.2: please enter an integer between 0x0001 and 0xFFFF.");
    in.Code62_2 = "1";
    EXPECT_EQ(acceptParameters(in, p)->message,
              "Code63.2: please enter an integer between 0x000000 and 0xFFFFFF.");
    in.Code62_1 = "1000000";
    EXPECT_EQ(acceptParameters(in, p)->message,
              "Code62.1: please enter an integer between 0x000000 and 0xFFFFFF.");
    in.Code63_1 = "FFFFFFFF";
    in.Code62_1 = "0";
    EXPECT_EQ(acceptParameters(in, p)->message,
              "Code63.1: please enter an integer between 0x000000 and 0xFFFFFF.");

    // Default Save stores what was typed without the hexadecimal checks.
    in.Code62_2 = "";
    EXPECT_EQ(takeParametersForDefaultSave(in, p), std::nullopt);
    EXPECT_EQ(p.Code62_2, 0);
}

TEST(ParameterChecks, HexBoxesTakeOnlyHexadecimalNumbers) {
    using F = ParameterField;
    using I = ParameterInput;
    const auto notHex = [](F f) { return ParameterError{f, hexNumberMessage(f), true}; };
    const ParameterError wide72{
        F::Code72, "Code72: please enter an integer between 0x00000000 and 0xFFFFFFFF."};
    const ParameterError range632{
        F::Code63_2, "Code63.2: please enter an integer between 0x000000 and 0xFFFFFF."};
    const ParameterError range622{F::Code62_2,
                                  "Code62.2: please enter an integer between 0x0001 and 0xFFFF."};
    const struct {
        std::string I::*box;
        const char* typed;
        std::optional<ParameterError> refusal; // on OK, and on Default Save unless rangeOnly
        bool rangeOnly = false;
        const char* shown = nullptr; // the box refilled from what Default Save took
    } cases[] = {
        {&I::Code63_2, "1FFFFG", notHex(F::Code63_2)},
        {&I::Code63_1, "0x4O00", notHex(F::Code63_1)},
        {&I::Code62_2, "zz", notHex(F::Code62_2)},
        {&I::Code72, "-1", notHex(F::Code72)},
        {&I::Code62_1, "0x", notHex(F::Code62_1)},
        {&I::Code63_1, "123456789ABCDEF0G", notHex(F::Code63_1)}, // the form before the width
        {&I::Code72, "1FFFFFFFF", wide72},
        {&I::Code63_2, "1000000", range632, true, "0x1000000"},
        {&I::Code62_2, " \t ", range622, true, "0x0000"},
        {&I::Code63_1, " \t0X000000000abCD\t ", std::nullopt, false, "0x00ABCD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        ParameterInput in = parameterInputFrom(ProtocolParameters{});
        in.*c.box = c.typed;
        ProtocolParameters ok, saved;
        EXPECT_EQ(acceptParameters(in, ok), c.refusal);
        if (c.refusal) { // nothing is stored for a refused text
            EXPECT_EQ(ok, ProtocolParameters{});
        }
        const bool savable = !c.refusal || c.rangeOnly;
        EXPECT_EQ(takeParametersForDefaultSave(in, saved), savable ? std::nullopt : c.refusal);
        if (savable) {
            EXPECT_EQ(parameterInputFrom(saved).*c.box, c.shown);
        }
    }
}

TEST(ParameterChecks, OkRefusesAWriteRangeThatRunsBackwards) {
    const ParameterError inverted{ParameterField::Code63_1, std::string(kWriteRangeInvertedMessage),
                                  true};
    const std::tuple<const char*, const char*, std::optional<ParameterError>> cases[] = {
        {"1000", "1000", std::nullopt},
        {"1001", "1000", inverted},
        {"1000000", "0", // the range checks come first
         ParameterError{ParameterField::Code63_1,
                        "Code63.1: please enter an integer between 0x000000 and 0xFFFFFF."}},
    };
    for (const auto& [first, last, refusal] : cases) {
        ParameterInput in = parameterInputFrom(ProtocolParameters{});
        in.Code63_1 = first;
        in.Code63_2 = last;
        ProtocolParameters p;
        EXPECT_EQ(acceptParameters(in, p), refusal) << first;
        EXPECT_EQ(takeParametersForDefaultSave(in, p), std::nullopt) << first;
    }
    // Signed, as the range checks: 0xFFFFFFFF is below every address.
    EXPECT_TRUE(checkWriteRange(0, -1));
    EXPECT_FALSE(checkWriteRange(-1, 0));
}

TEST(ParameterChecks, SectorSizeOutsideTheListShowsNoEntryAndIsStoredAsMinusOne) {
    ProtocolParameters p;
    p.Code61 = 9;
    p.CheckCode72 = 3;
    const ParameterInput in = parameterInputFrom(p);
    EXPECT_EQ(in.Code61, -1);
    EXPECT_EQ(in.CheckCode72, 1);
    ASSERT_EQ(takeParameterValues(in, p), std::nullopt);
    EXPECT_EQ(p.Code61, -1);
    EXPECT_EQ(p.CheckCode72, 1);
}

} // namespace
} // namespace pexo
