#include "devsim/Frame.h"

#include <cstdio>

namespace pexo::devsim {
namespace {

std::string hex(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
    return buf;
}

std::string header(const Frame& f) {
    std::string s = hex(f.command, 2);
    char text[96];
    switch (f.command) {
    case command::kConnect:
        return s + " (connect poll)";
    case command::kSectorSize:
        std::snprintf(text, sizeof text, " %02X (sector size code %u)", f.value & 0xFF,
                      static_cast<unsigned>(f.value));
        return s + text;
    case command::kErase:
        std::snprintf(text, sizeof text, " %06X %04X (erase %u sectors at 0x%06X)", f.address,
                      f.value, static_cast<unsigned>(f.value), f.address);
        return s + text;
    case command::kWriteBlock:
        if (f.dataLength == 0)
            return s + " (write block without an agreed sector size)";
        std::snprintf(text, sizeof text, " %06X +%u bytes (write block)", f.address,
                      static_cast<unsigned>(f.dataLength));
        return s + text;
    case command::kBlockChecksum:
        return s + " " + hex(f.value, 8) + " (block checksum)";
    case command::kChecksum:
        return s + " (checksum)";
    case command::kFullChecksum:
        return s + " " + hex(f.value, 8) + " (full checksum)";
    default:
        return s + " (no such request, ignored)";
    }
}

} // namespace

std::string describe(const Frame& frame) {
    std::string line = header(frame);
    if (!frame.known)
        return line;
    line += " ->";
    if (frame.reply.empty())
        return line + " no reply";
    for (std::uint8_t b : frame.reply) {
        line += ' ';
        line += hex(b, 2);
    }
    return line;
}

} // namespace pexo::devsim
