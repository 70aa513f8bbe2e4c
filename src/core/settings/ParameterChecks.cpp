#include "core/settings/ParameterChecks.h"

#include "core/settings/CommLists.h"
#include "core/settings/ValueText.h"

#include <limits>

namespace pexo {
namespace {

constexpr DecimalRange kIntervalRange{1, 1000};
constexpr DecimalRange kTimeRange{1, 1800000};

bool isBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlankOrTab(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrTab(text.back()))
        text.remove_suffix(1);
    return text;
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

struct HexBounds {
    const char* code; // as the messages name the box
    std::int32_t min;
    std::int32_t max;
    const char* range; // the bounds as the messages write them
};

HexBounds hexBounds(ParameterField field) {
    switch (field) {
    case ParameterField::Code62_1:
        return {"Code62.1", 0, 0xFFFFFF, "0x000000 and 0xFFFFFF"};
    case ParameterField::Code62_2:
        return {"Code62.2", 1, 0xFFFF, "0x0001 and 0xFFFF"};
    case ParameterField::Code63_1:
        return {"Code63.1", 0, 0xFFFFFF, "0x000000 and 0xFFFFFF"};
    case ParameterField::Code63_2:
        return {"Code63.2", 0, 0xFFFFFF, "0x000000 and 0xFFFFFF"};
    default: // Code72: every 32-bit pattern
        return {"Code72", std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::max(), "0x00000000 and 0xFFFFFFFF"};
    }
}

std::string hexRangeMessage(const HexBounds& bounds) {
    return std::string(bounds.code) + ": please enter an integer between " + bounds.range + ".";
}

std::optional<ParameterError> takeDecimal(ParameterField field, const std::string& text,
                                          std::int32_t& value) {
    if (auto message = readIntegerText(text, *decimalRange(field), value))
        return ParameterError{field, std::move(*message), true};
    return std::nullopt;
}

template <typename Field>
std::optional<ParameterError> takeHex(ParameterField field, const std::string& text,
                                      bool checkRange, Field& target) {
    std::uint32_t value = 0;
    if (auto error = readHexText(field, text, value))
        return error;
    if (checkRange)
        if (auto message = checkHexRange(field, static_cast<std::int32_t>(value)))
            return ParameterError{field, std::move(*message)};
    target = static_cast<Field>(value);
    return std::nullopt;
}

std::optional<ParameterError> takeHexValues(const ParameterInput& in, ProtocolParameters& p,
                                            bool checkRanges) {
    if (auto e = takeHex(ParameterField::Code62_1, in.Code62_1, checkRanges, p.Code62_1))
        return e;
    if (auto e = takeHex(ParameterField::Code62_2, in.Code62_2, checkRanges, p.Code62_2))
        return e;
    if (auto e = takeHex(ParameterField::Code63_1, in.Code63_1, checkRanges, p.Code63_1))
        return e;
    if (auto e = takeHex(ParameterField::Code63_2, in.Code63_2, checkRanges, p.Code63_2))
        return e;
    return takeHex(ParameterField::Code72, in.Code72, checkRanges, p.Code72);
}

} // namespace

std::string integerRangeMessage(std::int32_t min, std::int32_t max) {
    return "Please enter an integer between " + std::to_string(min) + " and " +
           std::to_string(max) + ".";
}

std::optional<DecimalRange> decimalRange(ParameterField field) {
    switch (field) {
    case ParameterField::Code30:
        return kIntervalRange;
    case ParameterField::Code31:
    case ParameterField::Code51:
    case ParameterField::Code52:
    case ParameterField::Code53:
    case ParameterField::Code54:
        return kTimeRange;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> readIntegerText(std::string_view text, DecimalRange range,
                                           std::int32_t& value) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::string(kIntegerMessage);
    // Past this bound every value is out of range anyway; stop growing so nothing overflows.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::string(kIntegerMessage);
        if (v < kCap)
            v = v * 10 + (c - '0');
    }
    if (negative)
        v = -v;
    if (v < range.min || v > range.max)
        return integerRangeMessage(range.min, range.max);
    value = static_cast<std::int32_t>(v);
    return std::nullopt;
}

std::string hexNumberMessage(ParameterField field) {
    return std::string(hexBounds(field).code) + ": please enter a hexadecimal number.";
}

std::optional<ParameterError> readHexText(ParameterField field, std::string_view text,
                                          std::uint32_t& value) {
    const auto notHex = [&] { return ParameterError{field, hexNumberMessage(field), true}; };
    text = trimBlanks(text);
    if (text.empty()) {
        value = 0;
        return std::nullopt;
    }
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        if (text.empty())
            return notHex();
    }
    std::uint64_t v = 0;
    bool tooWide = false;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            return notHex();
        // Leading zeros do not count; once past 32 bits only the text's form is still checked.
        if (!tooWide)
            v = v * 16 + static_cast<std::uint64_t>(d);
        tooWide = tooWide || v > std::numeric_limits<std::uint32_t>::max();
    }
    if (tooWide)
        return ParameterError{field, hexRangeMessage(hexBounds(field))};
    value = static_cast<std::uint32_t>(v);
    return std::nullopt;
}

std::optional<std::string> checkHexRange(ParameterField field, std::int32_t value) {
    const HexBounds bounds = hexBounds(field);
    if (value < bounds.min || value > bounds.max)
        return hexRangeMessage(bounds);
    return std::nullopt;
}

std::optional<std::string> checkWriteRange(std::int32_t first, std::int32_t last) {
    if (first > last)
        return std::string(kWriteRangeInvertedMessage);
    return std::nullopt;
}

ParameterInput parameterInputFrom(const ProtocolParameters& p) {
    ParameterInput in;
    in.Code30 = formatDecimal(p.Code30);
    in.Code31 = formatDecimal(p.Code31);
    in.Code51 = formatDecimal(p.Code51);
    in.Code52 = formatDecimal(p.Code52);
    in.Code53 = formatDecimal(p.Code53);
    in.Code54 = formatDecimal(p.Code54);
    in.Code61 = p.Code61 >= 0 && static_cast<std::size_t>(p.Code61) < kSectorSizeList.size()
                    ? p.Code61
                    : -1;
    in.Code62_1 = formatHex(static_cast<std::uint32_t>(p.Code62_1), 6);
    in.Code62_2 = formatHex(static_cast<std::uint32_t>(p.Code62_2), 4);
    in.Code63_1 = formatHex(static_cast<std::uint32_t>(p.Code63_1), 6);
    in.Code63_2 = formatHex(static_cast<std::uint32_t>(p.Code63_2), 4);
    in.CheckCode72 = p.CheckCode72 != 0 ? 1 : 0;
    in.Code72 = formatHex(p.Code72, 8);
    return in;
}

std::optional<ParameterError> takeParameterValues(const ParameterInput& in, ProtocolParameters& p) {
    const struct {
        ParameterField field;
        const std::string& text;
        std::int32_t& value;
    } decimals[] = {
        {ParameterField::Code30, in.Code30, p.Code30},
        {ParameterField::Code31, in.Code31, p.Code31},
        {ParameterField::Code51, in.Code51, p.Code51},
        {ParameterField::Code52, in.Code52, p.Code52},
        {ParameterField::Code53, in.Code53, p.Code53},
        {ParameterField::Code54, in.Code54, p.Code54},
    };
    for (const auto& d : decimals)
        if (auto error = takeDecimal(d.field, d.text, d.value))
            return error;
    p.Code61 = in.Code61 >= 0 && static_cast<std::size_t>(in.Code61) < kSectorSizeList.size()
                   ? in.Code61
                   : -1;
    p.CheckCode72 = in.CheckCode72 != 0 ? 1 : 0;
    return std::nullopt;
}

std::optional<ParameterError> acceptParameters(const ParameterInput& in, ProtocolParameters& p) {
    if (auto error = takeParameterValues(in, p))
        return error;
    if (auto error = takeHexValues(in, p, true))
        return error;
    // The operator is taken to the first address, where the range starts.
    if (auto message = checkWriteRange(p.Code63_1, p.Code63_2))
        return ParameterError{ParameterField::Code63_1, std::move(*message), true};
    return std::nullopt;
}

std::optional<ParameterError> takeParametersForDefaultSave(const ParameterInput& in,
                                                           ProtocolParameters& p) {
    if (auto error = takeParameterValues(in, p))
        return error;
    return takeHexValues(in, p, false);
}

} // namespace pexo
