#include "core/serial/CommErrors.h"
#include "core/serial/SerialPort.h"

#include <gtest/gtest.h>

#include <limits>

namespace pexo {
namespace {

using std::chrono::milliseconds;

TEST(WriteTimeLimit, IsLengthTimesWholeMillisecondsPerByte) {
    EXPECT_EQ(writeTimeLimit(1028, 9600), milliseconds(2056));
    EXPECT_EQ(writeTimeLimit(1, 9600), milliseconds(2));
    EXPECT_EQ(writeTimeLimit(5, 19200), milliseconds(5));
    EXPECT_EQ(writeTimeLimit(3, 110), milliseconds(3 * 174));
    EXPECT_EQ(writeTimeLimit(7, 14400), milliseconds(7)); // 19200 / 14400 rounds down to 1
    EXPECT_EQ(writeTimeLimit(0, 9600), milliseconds(0));
}

TEST(WriteTimeLimit, FastLinesAndAZeroRateHaveNoLimit) {
    EXPECT_EQ(writeTimeLimit(1028, 38400), milliseconds(0));
    EXPECT_EQ(writeTimeLimit(1028, 115200), milliseconds(0));
    EXPECT_EQ(writeTimeLimit(1028, 0), milliseconds(0));
    // Absurd lengths saturate instead of wrapping round to a short limit.
    EXPECT_EQ(writeTimeLimit(std::numeric_limits<std::size_t>::max(), 110), milliseconds::max());
}

TEST(CommErrors, BitsComeFromTheCountersThatGrew) {
    LineErrorCounts before{1, 2, 3, 4};
    LineErrorCounts after = before;
    EXPECT_EQ(commErrorBits(before, after, true), kCeIoError);
    EXPECT_EQ(commErrorBits(before, after, false), 0u);

    after.frame += 1;
    EXPECT_EQ(commErrorBits(before, after, false), kCeFrame);
    after.overrun += 2;
    after.parity += 1;
    after.breaks += 1;
    EXPECT_EQ(commErrorBits(before, after, true),
              kCeIoError | kCeFrame | kCeOverrun | kCeRxParity | kCeBreak);

    // A driver that reset its counters reports nothing new.
    EXPECT_EQ(commErrorBits(after, before, false), 0u);
    // Without counters only the I/O error is known.
    EXPECT_EQ(commErrorBits(std::nullopt, after, true), kCeIoError);
    EXPECT_EQ(commErrorBits(before, std::nullopt, false), 0u);
}

TEST(CommErrors, TextsHaveTheirFixedWording) {
    EXPECT_EQ(commErrorText(kCeIoError), "<CE-1024>");
    EXPECT_EQ(commErrorText(kCeIoError | kCeFrame), "<CE-1032>");
    EXPECT_EQ(writeTimeoutText(0), "Write Timeout: Total of 0 bytes sent");
    EXPECT_EQ(writeTimeoutText(1027), "Write Timeout: Total of 1027 bytes sent");
}

} // namespace
} // namespace pexo
