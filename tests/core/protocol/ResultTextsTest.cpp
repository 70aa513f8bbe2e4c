#include "core/protocol/ResultTexts.h"

#include "core/protocol/DownloadContext.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace pexo {
namespace {

TEST(DurationText, HoursAreNotWrapped) {
    EXPECT_EQ(durationText(0), "00:00:00");
    EXPECT_EQ(durationText(59), "00:00:59");
    EXPECT_EQ(durationText(3661), "01:01:01");
    EXPECT_EQ(durationText(86399), "23:59:59");
    EXPECT_EQ(durationText(360000), "100:00:00");
    EXPECT_EQ(durationText(4294967295u), "1193046:28:15");
}

TEST(NormalEndLines, ShowBothChecksumsLabelledWith0x86) {
    DownloadContext ctx;
    ctx.elapsedSeconds = 75;
    ctx.pcChecksum = 0x126;
    ctx.deviceChecksum = 0x12AB34CD;
    ctx.deviceFullChecksum = 0xFFFFFFFE;

    NormalEndLines lines = normalEndLines(&ctx);
    EXPECT_EQ(lines.timeLine, "Total time : 00:01:15");
    EXPECT_EQ(lines.pcChecksumLine, " PC Side Write Data Checksum : 0x00000126");
    EXPECT_EQ(lines.deviceChecksumLine, " Checksum RX[0x86] data:0x12,0xAB,0x34,0xCD");

    ctx.fullChecksumEnabled = true;
    lines = normalEndLines(&ctx);
    EXPECT_EQ(lines.deviceChecksumLine, " Checksum RX[0x86] data:0xFF,0xFF,0xFF,0xFE");
}

TEST(ResultLines, WithoutAContextEveryLineIsEmpty) {
    const NormalEndLines normal = normalEndLines(nullptr);
    EXPECT_TRUE(normal.timeLine.empty() && normal.pcChecksumLine.empty() &&
                normal.deviceChecksumLine.empty());
    const ErrorEndLines error = errorEndLines(nullptr, 100);
    EXPECT_TRUE(error.timeLine.empty() && error.errorLine.empty() && error.detailLine.empty() &&
                error.thirdLine.empty());
}

struct ErrorCase {
    std::int32_t code;
    const char* errorLine;
    const char* detailLine;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << "result code " << c.code;
}

class ErrorLinesForEveryCode : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorLinesForEveryCode, MatchTheReport) {
    DownloadContext ctx;
    ctx.elapsedSeconds = 3723;
    ctx.resultCode = GetParam().code;
    ctx.replyBytes[0] = 0x88;
    ctx.replyBytes[1] = 0x0A;
    ctx.replyBytes[2] = 0x7F;
    ctx.replyLength = 3;
    ctx.deviceFullChecksum = 0x0102A0FF;
    ctx.setCommErrorText("Write Timeout: Total of 12 bytes sent");

    const ErrorEndLines lines = errorEndLines(&ctx, 0x1234);
    EXPECT_EQ(lines.timeLine, "stop time : 01:02:03");
    EXPECT_EQ(lines.errorLine, GetParam().errorLine);
    EXPECT_EQ(lines.detailLine, GetParam().detailLine);
    EXPECT_EQ(lines.thirdLine, "");
}

INSTANTIATE_TEST_SUITE_P(
    ResultTexts, ErrorLinesForEveryCode,
    ::testing::Values(ErrorCase{0, "", ""}, ErrorCase{1, "RX[0x84] timeout : Option code 52", ""},
                      ErrorCase{2, "RX[0x85] timeout : Option code 53", ""},
                      ErrorCase{3, "RX[0x82] timeout : Option code 51", ""},
                      ErrorCase{4, "RX[0x86] timeout : Option code 54", ""},
                      ErrorCase{5, "Error occured in sector size.", " RX[0x88] data:0x0A"},
                      ErrorCase{6, "Erase Error.", " RX[0x88] data:0x0A"},
                      ErrorCase{7, "Write Error.", " RX[0x88] data:0x0A"},
                      ErrorCase{8, "File Length Error : Option Code 63.", " File Length:0x001234."},
                      ErrorCase{9, "Protocol Error.", " RX:0x88 0x0A 0x7F "},
                      ErrorCase{10, "RS232C Error.", " Write Timeout: Total of 12 bytes sent"},
                      ErrorCase{11, "Checksum error occured. Code 72.",
                                " RX[0x86] data:0x01,0x02,0xA0,0xFF"},
                      ErrorCase{12, "", ""}, ErrorCase{-1, "", ""}, ErrorCase{0x7FFFFFFF, "", ""}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) {
        const std::int32_t code = info.param.code;
        return (code < 0 ? "Minus" : "Code") + std::to_string(code < 0 ? -code : code);
    });

TEST(ErrorLines, ProtocolErrorListsAtMostTenBytes) {
    DownloadContext ctx;
    ctx.resultCode = 9;
    EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, " RX:");

    for (std::size_t i = 0; i < DownloadContext::kReplyCapacity; ++i)
        ctx.replyBytes[i] = static_cast<std::uint8_t>(0xF0 + i);
    const std::string ten = " RX:0xF0 0xF1 0xF2 0xF3 0xF4 0xF5 0xF6 0xF7 0xF8 0xF9 ";
    for (std::int32_t length : {10, 11, 1000}) {
        ctx.replyLength = length;
        EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, ten) << length;
    }
    ctx.replyLength = -4;
    EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, " RX:");
}

TEST(ErrorLines, ImageLengthPrintsAtLeastSixDigits) {
    DownloadContext ctx;
    ctx.resultCode = 8;
    EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, " File Length:0x000000.");
    EXPECT_EQ(errorEndLines(&ctx, 0x12345678).detailLine, " File Length:0x12345678.");
}

TEST(ErrorLines, SerialErrorShowsTheWholeKeptText) {
    DownloadContext ctx;
    ctx.resultCode = 10;
    ctx.setCommErrorText("<CE-1024>");
    EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, " <CE-1024>");
    const std::string longest(DownloadContext::kCommErrorTextSize - 1, 'x');
    ctx.setCommErrorText(longest + "yyy");
    EXPECT_EQ(errorEndLines(&ctx, 0).detailLine, " " + longest);
}

} // namespace
} // namespace pexo
