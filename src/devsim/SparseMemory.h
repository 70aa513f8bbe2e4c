#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace pexo::devsim {

// The device's 24-bit (16 MiB) flash, held as the pages that were ever written.
// Bytes never written, or erased since, read as 0xFF, the erased state of flash.
class SparseMemory {
public:
    static constexpr std::uint32_t kSize = 1u << 24;
    static constexpr std::uint8_t kErased = 0xFF;

    struct Range {
        std::uint32_t first; // lowest address written
        std::uint32_t last;  // highest address written (inclusive)
    };

    // False (nothing changed) when the range reaches past the end of memory.
    bool write(std::uint32_t address, std::span<const std::uint8_t> data);
    bool erase(std::uint32_t address, std::uint64_t length);

    // Bytes past the end of memory read as erased.
    std::vector<std::uint8_t> read(std::uint32_t address, std::size_t length) const;
    bool isWritten(std::uint32_t address) const;

    // The span of addresses holding written data; none when nothing is written.
    std::optional<Range> writtenRange() const;
    // Every byte from the lowest to the highest address written.
    std::vector<std::uint8_t> dump() const;

private:
    static constexpr std::uint32_t kPageSize = 4096;

    struct Page {
        Page() { bytes.fill(kErased); }
        std::array<std::uint8_t, kPageSize> bytes;
        std::bitset<kPageSize> written;
    };

    static bool fits(std::uint32_t address, std::uint64_t length) {
        return static_cast<std::uint64_t>(address) + length <= kSize;
    }

    std::map<std::uint32_t, Page> pages_; // by page number
};

} // namespace pexo::devsim
