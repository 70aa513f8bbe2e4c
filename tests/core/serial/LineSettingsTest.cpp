#include "core/serial/CommErrors.h"
#include "core/serial/LineSettingsPosix.h"
#include "core/serial/SerialPort.h"

#include <gtest/gtest.h>

#include <limits>

namespace pexo {
namespace {

using std::chrono::milliseconds;

termios cookedLine() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXANY | IGNPAR | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS8 | PARENB | CRTSCTS | HUPCL;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

termios applied(const LineSettings& s) {
    termios t = cookedLine();
    std::string why;
    EXPECT_TRUE(applyLineSettings(t, s, &why)) << why;
    return t;
}

TEST(LineSettings, DefaultsGiveARawEightNoneOneLineWithoutHandshake) {
    const termios t = applied(LineSettings{});
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | IGNPAR));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    // Left as the driver had it.
    EXPECT_TRUE(t.c_cflag & HUPCL);
}

TEST(LineSettings, DataBitsParityAndStopBitsMapToTheirFlags) {
    const struct {
        std::uint8_t bits;
        tcflag_t size;
    } sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const auto& c : sizes) {
        LineSettings s;
        s.dataBits = c.bits;
        EXPECT_EQ(applied(s).c_cflag & CSIZE, c.size) << int(c.bits);
    }

    LineSettings odd;
    odd.parity = 1;
    termios t = applied(odd);
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_iflag & INPCK);

    LineSettings even;
    even.parity = 2;
    t = applied(even);
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_iflag & INPCK);

    for (std::uint8_t stop : {1, 2}) {
        LineSettings s;
        s.stopBits = stop; // one and a half is two here
        EXPECT_TRUE(applied(s).c_cflag & CSTOPB) << int(stop);
    }
}

TEST(LineSettings, FlowBitsChooseTheHandshakes) {
    LineSettings s;
    s.flowControl = 0x01; // DTR/DSR: nothing in termios, DTR is held raised
    termios t = applied(s);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    s.flowControl = 0x02;
    t = applied(s);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    s.flowControl = 0x04 | 0x08; // bits above 2 mean nothing
    t = applied(s);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_FALSE(t.c_iflag & IXANY);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(LineSettings, ValuesNoLineTakesAreRefusedWithAReason) {
    const auto refused = [](LineSettings s, const char* word) {
        termios t = cookedLine();
        const termios before = t;
        std::string why;
        EXPECT_FALSE(applyLineSettings(t, s, &why));
        EXPECT_NE(why.find(word), std::string::npos) << why;
        EXPECT_EQ(t.c_cflag, before.c_cflag) << "a refused setting must not half-apply";
    };
    LineSettings s;
    s.dataBits = 4;
    refused(s, "data bits");
    s.dataBits = 9;
    refused(s, "data bits");
    s = {};
    s.parity = 3;
    refused(s, "parity");
    s = {};
    s.stopBits = 3;
    refused(s, "stop bits");
    s = {};
    s.baudRate = 0;
    refused(s, "baud");
}

TEST(LineSettings, RatesTermiosDoesNotNameAreLeftForTheCustomSetter) {
    for (std::uint32_t rate : {110u, 300u, 9600u, 19200u, 38400u, 57600u, 115200u})
        EXPECT_TRUE(standardSpeed(rate).has_value()) << rate;
    for (std::uint32_t rate : {14400u, 56000u, 128000u, 256000u, 1u})
        EXPECT_FALSE(standardSpeed(rate).has_value()) << rate;

    LineSettings s;
    s.baudRate = 56000;
    const termios t = applied(s);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400)); // untouched
}

} // namespace
} // namespace pexo
