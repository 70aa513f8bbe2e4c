#pragma once

#include <cstddef>
#include <cstdint>

namespace pexo {

// Where the protocol engine sends its frames. The program's writer blocks until the port has
// taken the frame or its time-out expired, and records a failure in the context itself
// (result code 10), so the engine only calls it and reads the outcome from the context.
class FrameWriter {
public:
    virtual ~FrameWriter() = default;
    virtual void write(const std::uint8_t* bytes, std::size_t length) = 0;
};

} // namespace pexo
