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
    EXPECT_EQ(
        acceptParameters(in, p),
        (ParameterError{ParameterField::Code31, "Please enter an integer between 1 and 1800000."}));
    EXPECT_EQ(p.Code30, 20);

    in.Code31 = "5";
    EXPECT_EQ(acceptParameters(in, p)->field, ParameterField::Code53);
    in.Code30 = "0";
    EXPECT_EQ(
        acceptParameters(in, p),
        (ParameterError{ParameterField::Code30, "Please enter an integer between 1 and 1000."}));
}

TEST(ParameterChecks, HexTextsParseThenCheckOnOkOnly) {
    ParameterInput in = parameterInputFrom(ProtocolParameters{});
    in.Code62_1 = "4000";
    in.Code63_1 = "Q123"; // no hex digit: the previous value stays
    in.Code72 = "-1";
    ProtocolParameters p;
    p.Code63_1 = 0x7000;
    ASSERT_EQ(acceptParameters(in, p), std::nullopt);
    EXPECT_EQ(p.Code62_1, 0x4000);
    EXPECT_EQ(p.Code63_1, 0x7000);
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
    in.Code63_1 = "-1";
    in.Code62_1 = "0";
    EXPECT_EQ(acceptParameters(in, p)->message,
              "Code63.1: please enter an integer between 0x000000 and 0xFFFFFF.");

    // Default Save stores what was typed without the hexadecimal checks.
    in.Code62_2 = "";
    EXPECT_EQ(takeParametersForDefaultSave(in, p), std::nullopt);
    EXPECT_EQ(p.Code62_2, 0);
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
