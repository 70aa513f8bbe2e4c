#include "core/settings/DataSet.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/settings/CommLists.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

TEST(DataSet, BuiltInDefaultsReachTheContextAsThePortAndProtocolUseThem) {
    DownloadContext ctx;
    ASSERT_TRUE(ParameterDataSet(ProtocolParameters{}, &ctx));
    ASSERT_TRUE(RS232CDataSet(CommSettings{}, &ctx));
    EXPECT_EQ(ctx.portNumber, 1);
    EXPECT_EQ(ctx.baudRate, 57600u);
    EXPECT_EQ(ctx.dataBits, 8);
    EXPECT_EQ(ctx.parity, 2);
    EXPECT_EQ(ctx.stopBits, 0);
    EXPECT_EQ(ctx.flowControl, 0);
    EXPECT_EQ(ctx.txIntervalTime, 10);
    EXPECT_EQ(ctx.txWaitSurplusTime, 1000);
    EXPECT_EQ(ctx.rxWriteCompletionTimeout, 180000);
    EXPECT_EQ(ctx.rxSectorSizeTimeout, 180000);
    EXPECT_EQ(ctx.rxEraseCompletionTimeout, 180000);
    EXPECT_EQ(ctx.rxChecksumTimeout, 180000);
    EXPECT_EQ(ctx.sectorSizeCode, 4);
    EXPECT_EQ(ctx.eraseAddress, 0x4000);
    EXPECT_EQ(ctx.eraseSectorCount, 34);
    EXPECT_EQ(ctx.writeFirstAddress, 0x6000);
    EXPECT_EQ(ctx.writeLastAddress, 0x1FFFFF);
    EXPECT_FALSE(ctx.fullChecksumEnabled);
    EXPECT_EQ(ctx.fullChecksum, 0xFFFFFFFFu);
}

TEST(DataSet, ListPositionsMapWithTheirFallbacks) {
    EXPECT_EQ(baudRateFor(0), 110u);
    EXPECT_EQ(baudRateFor(10), 56000u);
    EXPECT_EQ(baudRateFor(14), 256000u);
    EXPECT_EQ(baudRateFor(15), 57600u);
    EXPECT_EQ(baudRateFor(-1), 57600u);
    EXPECT_EQ(portNumberFor(1), 2);
    EXPECT_EQ(portNumberFor(5), 1);
    EXPECT_EQ(portNumberFor(-1), 1);
    EXPECT_EQ(dataBitsFor(0), 5);
    EXPECT_EQ(dataBitsFor(2), 7);
    EXPECT_EQ(dataBitsFor(-1), 8);
    EXPECT_EQ(parityCodeFor(positionIn(kParityList, "Odd")), 1);
    EXPECT_EQ(parityCodeFor(positionIn(kParityList, "Even")), 2);
    EXPECT_EQ(parityCodeFor(positionIn(kParityList, "Mark")), 0);
    EXPECT_EQ(stopBitsCodeFor(positionIn(kStopBitsList, "1.5")), 1);
    EXPECT_EQ(stopBitsCodeFor(2), 2);
    EXPECT_EQ(stopBitsCodeFor(3), 0);
    EXPECT_EQ(sectorSizeCodeFor(0), 1);
    EXPECT_EQ(sectorSizeCodeFor(6), 7);
    EXPECT_EQ(sectorSizeCodeFor(7), 4);
    EXPECT_EQ(sectorSizeCodeFor(-1), 4);
    EXPECT_EQ(positionIn(kBaudRateList, "115200"), 12);
}

TEST(DataSet, FlowKeepsOnlyTheThreeBoxes) {
    EXPECT_EQ(flowChecksFrom(8), FlowChecks{});
    EXPECT_EQ(flowChecksFrom(5), (FlowChecks{true, false, true}));
    EXPECT_EQ(flowFrom(flowChecksFrom(0xFF)), 7);

    DownloadContext ctx;
    CommSettings s;
    s.Flow = 0x0A; // RTS/CTS plus a bit no box shows
    RS232CDataSet(s, &ctx);
    EXPECT_EQ(ctx.flowControl, 2);
}

TEST(DataSet, FullChecksumIsCopiedEvenWhenItsBoxIsOff) {
    DownloadContext ctx;
    ProtocolParameters p;
    p.Code72 = 0x12345678;
    p.Code61 = -1;
    p.Code62_2 = 0; // no range check on the way to a download
    ParameterDataSet(p, &ctx);
    EXPECT_FALSE(ctx.fullChecksumEnabled);
    EXPECT_EQ(ctx.fullChecksum, 0x12345678u);
    EXPECT_EQ(ctx.sectorSizeCode, 4);
    EXPECT_EQ(ctx.eraseSectorCount, 0);
    p.CheckCode72 = 1;
    ParameterDataSet(p, &ctx);
    EXPECT_TRUE(ctx.fullChecksumEnabled);
}

class ContextlessHost : public Host {
public:
    DownloadContext* downloadContext() override { return ctx; }
    void showMessage(std::string_view, MessageIcon) override {}
    std::string& imageFile() override { return file; }
    std::uint32_t& imageSize() override { return size; }
    std::span<const std::uint8_t> imageBytes() const override { return {}; }
    DownloadContext* ctx = nullptr;
    std::string file;
    std::uint32_t size = 0;
};

TEST(DataSet, NoContextNoCopy) {
    ContextlessHost host;
    EXPECT_FALSE(RS232CDataSet(CommSettings{}, host));
    EXPECT_FALSE(ParameterDataSet(ProtocolParameters{}, host));
    DownloadContext ctx;
    host.ctx = &ctx;
    CommSettings s;
    s.Port = 1;
    EXPECT_TRUE(RS232CDataSet(s, host));
    EXPECT_EQ(ctx.portNumber, 2);
    EXPECT_EQ(kRs232cDataSetFailedText, "RS232C data set failed.");
}

} // namespace
} // namespace pexo
