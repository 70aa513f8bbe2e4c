#include "core/download/ProgressModel.h"

#include "core/protocol/DownloadContext.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

// Default parameters: sector code 4 (1024 bytes), writes from 0x6000 to 0x1FFFFF.
struct Fixture {
    DownloadContext ctx;
    Fixture() {
        ctx.sectorSizeCode = 4;
        ctx.writeFirstAddress = 0x6000;
        ctx.writeLastAddress = 0x1FFFFF;
        resetProtocolState(ctx);
    }
    void goToStep(int index) { ctx.stepIndex = index; }
};

TEST(ProgressModel, StartsWithTheInitialTexts) {
    ProgressModel model(0x200000);
    EXPECT_EQ(model.percentText(), "0.0 %");
    EXPECT_EQ(model.processLine(), "");
    EXPECT_EQ(model.barMaximum(), 0x200000u / 100);
}

TEST(ProgressModel, EarlyStepsShowOnlyTheStepNumber) {
    Fixture f;
    ProgressModel model(0x200000);
    f.goToStep(1);
    model.update(f.ctx);
    EXPECT_EQ(model.processLine(), "Process 1");
    EXPECT_EQ(model.percentText(), "0.0 %");
    f.goToStep(2);
    model.update(f.ctx);
    EXPECT_EQ(model.processLine(), "Process 2");
    EXPECT_EQ(model.barPosition(), 0u);
}

TEST(ProgressModel, WriteStepShowsBlockAndShareBelowIt) {
    Fixture f;
    ProgressModel model(0x200000);
    f.goToStep(3);
    f.ctx.writeAddress = 0x100000;
    model.update(f.ctx);
    EXPECT_EQ(model.processLine(), "Process 3:[0x100000 + 1024]");
    EXPECT_EQ(model.percentText(), "50.00 %");
    EXPECT_EQ(model.barPosition(), 0x100000u / 100);
}

TEST(ProgressModel, LastBlockStaysJustUnderTheWhole) {
    Fixture f;
    ProgressModel model(0x200000);
    f.goToStep(3);
    f.ctx.writeAddress = 0x1FFC00;
    model.update(f.ctx);
    EXPECT_EQ(model.processLine(), "Process 3");
    EXPECT_EQ(model.percentText(), "99.99 %");
    f.goToStep(4); // checksum: nothing moves
    model.update(f.ctx);
    EXPECT_EQ(model.processLine(), "Process 4");
    EXPECT_EQ(model.percentText(), "99.99 %");
}

TEST(ProgressModel, SmallValuesKeepTwoDecimalsAndBarMovesOnlyPerHundredBytes) {
    Fixture f;
    ProgressModel model(2000);
    f.ctx.writeLastAddress = 0x100000;
    f.goToStep(3);
    f.ctx.writeAddress = 110;
    model.update(f.ctx);
    EXPECT_EQ(model.percentText(), "5.50 %");
    f.ctx.writeAddress = 150; // same bar (1): percentage kept
    model.update(f.ctx);
    EXPECT_EQ(model.percentText(), "5.50 %");
}

TEST(ProgressModel, HundredOrMoreShowsNoDecimalsAndResetsTheLine) {
    Fixture f;
    ProgressModel model(1000);
    f.ctx.writeLastAddress = 0x100000;
    f.goToStep(3);
    f.ctx.writeAddress = 4096; // image shorter than the address: over 100
    model.update(f.ctx);
    EXPECT_EQ(model.percentText(), "100 %");
    EXPECT_EQ(model.processLine(), "Process 3");
}

TEST(ProgressModel, EmptyImageNeverMoves) {
    Fixture f;
    ProgressModel model(0);
    f.goToStep(3);
    f.ctx.writeAddress = 0x1FFC00;
    model.update(f.ctx);
    EXPECT_EQ(model.percentText(), "0.0 %");
    EXPECT_EQ(model.barPosition(), 0u);
}

} // namespace
} // namespace pexo
