#include "core/protocol/Checksum.h"

namespace pexo {

std::uint32_t accumulateChecksum(std::uint32_t sum, const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr)
        return sum;
    for (std::size_t i = 0; i < length; ++i)
        sum += bytes[i];
    return sum;
}

} // namespace pexo
