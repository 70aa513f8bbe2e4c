#include "core/serial/LineSettingsWindows.h"

#include <gtest/gtest.h>

namespace pexo {
namespace {

// A DCB as another program may have left the port: everything the context names set wrong.
DCB leftOver() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 1200;
    dcb.ByteSize = 7;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = TRUE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = TRUE;
    dcb.XonChar = 'a';
    dcb.EofChar = 0x1A; // not the context's: kept
    return dcb;
}

TEST(LineSettingsWindows, TheContextsLineBecomesTheDcb) {
    struct Case {
        LineSettings s;
        bool dsr, cts, xon;
        DWORD dtr, rts;
    } const cases[] = {
        {{9600, 8, 0, 0, 0}, false, false, false, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
        {{128000, 7, 2, 2, 0x01}, true, false, false, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE},
        {{56000, 5, 1, 1, 0x02}, false, true, false, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE},
        {{115200, 6, 0, 0, 0x07}, true, true, true, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.s.baudRate);
        DCB dcb = leftOver();
        std::string why;
        ASSERT_TRUE(applyLineSettings(dcb, c.s, &why)) << why;
        EXPECT_EQ(dcb.BaudRate, c.s.baudRate);
        EXPECT_EQ(dcb.ByteSize, c.s.dataBits);
        EXPECT_EQ(dcb.Parity, c.s.parity);
        EXPECT_EQ(dcb.StopBits, c.s.stopBits);
        EXPECT_EQ(bool(dcb.fOutxDsrFlow), c.dsr);
        EXPECT_EQ(bool(dcb.fOutxCtsFlow), c.cts);
        EXPECT_EQ(bool(dcb.fOutX), c.xon);
        EXPECT_EQ(bool(dcb.fInX), c.xon);
        EXPECT_EQ(dcb.fDtrControl, c.dtr);
        EXPECT_EQ(dcb.fRtsControl, c.rts);
        EXPECT_TRUE(dcb.fBinary && dcb.fParity);
        EXPECT_FALSE(dcb.fAbortOnError);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.XonLim, 100);
        EXPECT_EQ(dcb.XoffLim, 100);
        EXPECT_EQ(dcb.EofChar, 0x1A);
    }
}

TEST(LineSettingsWindows, ValuesNoLineTakesAreRefusedWithAReason) {
    const struct {
        LineSettings s;
        const char* word;
    } cases[] = {
        {{9600, 4, 0, 0, 0}, "data bits"}, {{9600, 9, 0, 0, 0}, "data bits"},
        {{9600, 8, 3, 0, 0}, "parity"},    {{9600, 8, 0, 3, 0}, "stop bits"},
        {{0, 8, 0, 0, 0}, "baud"},
    };
    for (const auto& c : cases) {
        DCB dcb = leftOver();
        std::string why;
        EXPECT_FALSE(applyLineSettings(dcb, c.s, &why));
        EXPECT_NE(why.find(c.word), std::string::npos) << why;
        EXPECT_EQ(dcb.BaudRate, 1200u) << "a refused setting must not half-apply";
    }
}

} // namespace
} // namespace pexo
