#include "core/serial/LineSettingsPosix.h"

#include <array>
#include <utility>

namespace pexo {

std::optional<speed_t> standardSpeed(std::uint32_t baudRate) {
    static constexpr std::array<std::pair<std::uint32_t, speed_t>, 30> kSpeeds{{
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    }};
    for (const auto& [rate, speed] : kSpeeds)
        if (rate == baudRate)
            return speed;
    return std::nullopt;
}

bool applyLineSettings(termios& t, const LineSettings& s, std::string* why) {
    if (!checkLineSettings(s, why))
        return false;
    tcflag_t size = CS8;
    switch (s.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    default: break;
    }

    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= size | CREAD | CLOCAL;
    if (s.parity != 0) {
        t.c_cflag |= PARENB;
        if (s.parity == 1)
            t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    } else {
        t.c_iflag &= ~INPCK;
    }
    t.c_iflag &= ~(IGNPAR | IXON | IXOFF | IXANY);
    if (s.stopBits != 0)
        t.c_cflag |= CSTOPB;
    if (s.flowControl & 0x02)
        t.c_cflag |= CRTSCTS;
    if (s.flowControl & 0x04)
        t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    // The port is non-blocking and read when poll says so; VMIN/VTIME only matter to a
    // blocking reader, and these make such a reader behave.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    if (const auto speed = standardSpeed(s.baudRate)) {
        cfsetispeed(&t, *speed);
        cfsetospeed(&t, *speed);
    }
    return true;
}

} // namespace pexo
