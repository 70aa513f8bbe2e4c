#include "core/serial/LineSettingsWindows.h"

namespace pexo {

bool applyLineSettings(DCB& dcb, const LineSettings& s, std::string* why) {
    if (!checkLineSettings(s, why))
        return false;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.dataBits;
    // The context keeps parity and stop bits in the driver's own numbering.
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    const bool dtrDsr = s.flowControl & 0x01;
    const bool rtsCts = s.flowControl & 0x02;
    const bool xonXoff = s.flowControl & 0x04;
    dcb.fOutxDsrFlow = dtrDsr;
    dcb.fDtrControl = dtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = rtsCts;
    dcb.fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = xonXoff;
    dcb.fInX = xonXoff;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.fAbortOnError = FALSE;
    return true;
}

} // namespace pexo
