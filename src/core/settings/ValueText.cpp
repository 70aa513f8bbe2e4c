#include "core/settings/ValueText.h"

#include <cstdio>
#include <limits>

namespace pexo {
namespace {

bool isScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::uint32_t> scanHex(std::string_view text) {
    if (text.empty())
        return 0u;
    std::size_t i = 0;
    while (i < text.size() && isScanSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // The prefix only counts when a hex digit follows; otherwise its "0" is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    bool any = false;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            break;
        any = true;
        value = value * 16 + static_cast<std::uint64_t>(d);
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            overflow = true;
            value = std::numeric_limits<std::uint32_t>::max();
        }
    }
    if (!any)
        return std::nullopt;
    auto result = static_cast<std::uint32_t>(value);
    if (negative && !overflow)
        result = 0u - result;
    return result;
}

bool scanHexInto(std::string_view text, std::int32_t& field) {
    const auto v = scanHex(text);
    if (v)
        field = static_cast<std::int32_t>(*v);
    return v.has_value();
}

bool scanHexInto(std::string_view text, std::uint32_t& field) {
    const auto v = scanHex(text);
    if (v)
        field = *v;
    return v.has_value();
}

std::optional<std::int32_t> readDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isScanSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        if (value <= kLimit)
            value = value * 10 + (text[i] - '0');
    }
    if (!any)
        return std::nullopt;
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::string formatDecimal(std::int32_t value) {
    return std::to_string(value);
}

std::string formatHex(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, static_cast<unsigned>(value));
    return buf;
}

} // namespace pexo
