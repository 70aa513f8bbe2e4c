#include "devsim/SampleArchive.h"

#include <cstdio>
#include <stdexcept>

namespace pexo::devsim {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace

std::vector<std::uint8_t> sampleImage(std::size_t length) {
    std::vector<std::uint8_t> image;
    image.reserve(length + 32);
    char line[32];
    while (image.size() < length) {
        const int n = std::snprintf(line, sizeof line, "%06zX PEXO SAMPLE IMAGE\n", image.size());
        image.insert(image.end(), line, line + n);
    }
    image.resize(length);
    return image;
}

std::uint16_t lhaCrc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

std::vector<std::uint8_t> storedLhaArchive(const std::string& memberName,
                                           std::span<const std::uint8_t> data,
                                           std::uint32_t modified) {
    if (memberName.empty() || memberName.size() > 1000 || data.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("member name or size out of range");
    const auto size = static_cast<std::uint32_t>(data.size());

    std::vector<std::uint8_t> header;
    put16(header, 0); // total header length, filled in below
    for (char c : std::string_view("-lh0-"))
        header.push_back(static_cast<std::uint8_t>(c));
    put32(header, size); // stored: packed and original sizes agree
    put32(header, size);
    put32(header, modified);
    header.push_back(0x20);
    header.push_back(2); // header level
    put16(header, lhaCrc16(data));
    header.push_back('U');
    // Extended headers: the header CRC (first, so it can be patched) and the file name.
    put16(header, 1 + 2 + 2);
    header.push_back(0x00);
    const std::size_t crcAt = header.size();
    put16(header, 0);
    put16(header, static_cast<std::uint32_t>(1 + memberName.size() + 2));
    header.push_back(0x01);
    header.insert(header.end(), memberName.begin(), memberName.end());
    put16(header, 0); // no further extended header
    header[0] = static_cast<std::uint8_t>(header.size());
    header[1] = static_cast<std::uint8_t>(header.size() >> 8);
    const std::uint16_t crc = lhaCrc16(header);
    header[crcAt] = static_cast<std::uint8_t>(crc);
    header[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);

    std::vector<std::uint8_t> archive = std::move(header);
    archive.insert(archive.end(), data.begin(), data.end());
    archive.push_back(0); // end of archive
    return archive;
}

} // namespace pexo::devsim
