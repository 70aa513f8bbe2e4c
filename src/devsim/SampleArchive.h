#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pexo::devsim {

// Bytes that look like a memory image: addresses and data, so a dump is easy to read.
std::vector<std::uint8_t> sampleImage(std::size_t length);

// An LHA archive (header level 2, method -lh0-) holding one member, for trying the program
// without an archive from the field.
std::vector<std::uint8_t> storedLhaArchive(const std::string& memberName,
                                           std::span<const std::uint8_t> data,
                                           std::uint32_t modified);

// CRC-16 as LHA uses it (reflected polynomial 0xA001, start 0).
std::uint16_t lhaCrc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

} // namespace pexo::devsim
