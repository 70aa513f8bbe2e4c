#include "core/download/PortFrameWriter.h"

#include "core/serial/SerialPort.h"

namespace pexo {

void PortFrameWriter::write(const std::uint8_t* bytes, std::size_t length) {
    writePort(ctx_, bytes, length);
}

} // namespace pexo
