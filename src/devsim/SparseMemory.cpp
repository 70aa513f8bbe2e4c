#include "devsim/SparseMemory.h"

#include <algorithm>

namespace pexo::devsim {

bool SparseMemory::write(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (!fits(address, data.size()))
        return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(done);
        const std::uint32_t offset = at % kPageSize;
        const std::size_t n = std::min<std::size_t>(kPageSize - offset, data.size() - done);
        Page& page = pages_[at / kPageSize];
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), n,
                    page.bytes.begin() + offset);
        for (std::size_t i = 0; i < n; ++i)
            page.written.set(offset + i);
        done += n;
    }
    return true;
}

bool SparseMemory::erase(std::uint32_t address, std::uint64_t length) {
    if (!fits(address, length))
        return false;
    const std::uint64_t end = address + length;
    for (auto it = pages_.lower_bound(address / kPageSize); it != pages_.end();) {
        const std::uint64_t base = static_cast<std::uint64_t>(it->first) * kPageSize;
        if (base >= end)
            break;
        const std::uint64_t from = std::max<std::uint64_t>(base, address);
        const std::uint64_t to = std::min<std::uint64_t>(base + kPageSize, end);
        for (std::uint64_t a = from; a < to; ++a) {
            it->second.bytes[a - base] = kErased;
            it->second.written.reset(a - base);
        }
        // A page with nothing written left is forgotten, so the written range shrinks too.
        it = it->second.written.none() ? pages_.erase(it) : std::next(it);
    }
    return true;
}

std::vector<std::uint8_t> SparseMemory::read(std::uint32_t address, std::size_t length) const {
    std::vector<std::uint8_t> out(length, kErased);
    for (std::size_t i = 0; i < length;) {
        const std::uint64_t at = static_cast<std::uint64_t>(address) + i;
        if (at >= kSize)
            break;
        const std::uint32_t offset = static_cast<std::uint32_t>(at % kPageSize);
        const std::size_t n = std::min<std::size_t>(kPageSize - offset, length - i);
        const auto it = pages_.find(static_cast<std::uint32_t>(at / kPageSize));
        if (it != pages_.end())
            std::copy_n(it->second.bytes.begin() + offset, n,
                        out.begin() + static_cast<std::ptrdiff_t>(i));
        i += n;
    }
    return out;
}

bool SparseMemory::isWritten(std::uint32_t address) const {
    if (address >= kSize)
        return false;
    const auto it = pages_.find(address / kPageSize);
    return it != pages_.end() && it->second.written.test(address % kPageSize);
}

std::optional<SparseMemory::Range> SparseMemory::writtenRange() const {
    if (pages_.empty())
        return std::nullopt;
    // Every page kept holds at least one written byte.
    const auto& [firstPage, first] = *pages_.begin();
    const auto& [lastPage, last] = *pages_.rbegin();
    std::uint32_t lo = 0;
    while (!first.written.test(lo))
        ++lo;
    std::uint32_t hi = kPageSize - 1;
    while (!last.written.test(hi))
        --hi;
    return Range{firstPage * kPageSize + lo, lastPage * kPageSize + hi};
}

std::vector<std::uint8_t> SparseMemory::dump() const {
    const auto range = writtenRange();
    if (!range)
        return {};
    return read(range->first, range->last - range->first + 1);
}

} // namespace pexo::devsim
