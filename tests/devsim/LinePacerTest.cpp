#include "devsim/LinePacer.h"

#include <gtest/gtest.h>
#include <limits>

namespace pexo::devsim {
namespace {

using namespace std::chrono_literals;

TEST(LinePacer, NoRateMeansNoPacing) {
    LinePacer p(0);
    EXPECT_FALSE(p.limited());
    EXPECT_EQ(p.allowance(LinePacer::Clock::time_point{}), std::numeric_limits<std::size_t>::max());
}

TEST(LinePacer, ABurstMovesOneByteEveryTenBitTimes) {
    LinePacer p(10'000); // 1 ms a byte
    ASSERT_EQ(p.byteTime(), 1ms);
    const LinePacer::Clock::time_point t0{10s};
    p.startBurst(t0);
    EXPECT_EQ(p.allowance(t0), 0u); // the first byte is still on the wire
    EXPECT_EQ(p.readyAt(), t0 + 1ms);
    EXPECT_EQ(p.allowance(t0 + 1ms), 1u);
    EXPECT_EQ(p.allowance(t0 + 3500us), 3u);
    p.moved(3);
    EXPECT_EQ(p.allowance(t0 + 3500us), 0u);
    EXPECT_EQ(p.readyAt(), t0 + 4ms);

    // A batch is ready when its last byte is; the clock's range bounds a huge count.
    EXPECT_EQ(p.readyAt(1), t0 + 4ms);
    EXPECT_EQ(p.readyAt(5), t0 + 8ms);
    EXPECT_EQ(p.readyAt(std::numeric_limits<std::size_t>::max()), t0 + 4ms + 24h);
    EXPECT_EQ(p.bytesIn(4500us), 4u);
    EXPECT_EQ(p.bytesIn(10us), 1u);
    EXPECT_EQ(LinePacer(0).bytesIn(4ms), 1u);

    // A pause earns no burst afterwards.
    p.startBurst(t0 + 1s);
    EXPECT_EQ(p.allowance(t0 + 1s), 0u);
    EXPECT_EQ(p.allowance(t0 + 1s + 1ms), 1u);
}

} // namespace
} // namespace pexo::devsim
