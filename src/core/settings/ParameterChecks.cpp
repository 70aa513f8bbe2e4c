#include "core/settings/ParameterChecks.h"

#include "core/settings/CommLists.h"
#include "core/settings/ValueText.h"

namespace pexo {
namespace {

constexpr DecimalRange kIntervalRange{1, 1000};
constexpr DecimalRange kTimeRange{1, 1800000};

bool isBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

std::optional<ParameterError> takeDecimal(ParameterField field, const std::string& text,
                                          std::int32_t& value) {
    if (auto message = readIntegerText(text, *decimalRange(field), value))
        return ParameterError{field, std::move(*message)};
    return std::nullopt;
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
    while (!text.empty() && isBlankOrTab(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrTab(text.back()))
        text.remove_suffix(1);
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

std::optional<std::string> checkHexRange(ParameterField field, std::int32_t value) {
    switch (field) {
    case ParameterField::Code62_1:
        if (value < 0 || value > 0xFFFFFF)
            return "Code62.1: please enter an integer between 0x000000 and 0xFFFFFF.";
        break;
    case ParameterField::Code62_2:
        if (value < 1 || value > 0xFFFF)
            return "Code62.2: please enter an integer between 0x0001 and 0xFFFF.";
        break;
    case ParameterField::Code63_1:
        if (value < 0 || value > 0xFFFFFF)
            return "Code63.1: please enter an integer between 0x000000 and 0xFFFFFF.";
        break;
    case ParameterField::Code63_2:
        if (value < 0 || value > 0xFFFFFF)
            return "Code63.2: please enter an integer between 0x000000 and 0xFFFFFF.";
        break;
    default:
        break;
    }
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

void parseParameterHexTexts(const ParameterInput& in, ProtocolParameters& p) {
    scanHexInto(in.Code62_1, p.Code62_1);
    scanHexInto(in.Code62_2, p.Code62_2);
    scanHexInto(in.Code63_1, p.Code63_1);
    scanHexInto(in.Code63_2, p.Code63_2);
    scanHexInto(in.Code72, p.Code72);
}

std::optional<ParameterError> acceptParameters(const ParameterInput& in, ProtocolParameters& p) {
    if (auto error = takeParametersForDefaultSave(in, p))
        return error;
    const struct {
        ParameterField field;
        std::int32_t value;
    } hexes[] = {
        {ParameterField::Code62_1, p.Code62_1},
        {ParameterField::Code62_2, p.Code62_2},
        {ParameterField::Code63_1, p.Code63_1},
        {ParameterField::Code63_2, p.Code63_2},
    };
    for (const auto& h : hexes)
        if (auto message = checkHexRange(h.field, h.value))
            return ParameterError{h.field, std::move(*message)};
    return std::nullopt;
}

std::optional<ParameterError> takeParametersForDefaultSave(const ParameterInput& in,
                                                           ProtocolParameters& p) {
    if (auto error = takeParameterValues(in, p))
        return error;
    parseParameterHexTexts(in, p);
    return std::nullopt;
}

} // namespace pexo
