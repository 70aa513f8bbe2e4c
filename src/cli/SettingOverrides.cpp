#include "cli/SettingOverrides.h"

#include "core/settings/CommLists.h"
#include "core/settings/ParameterChecks.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string_view>

namespace pexo::cli {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string joined(std::span<const std::string_view> list) {
    std::string out;
    for (std::string_view entry : list) {
        if (!out.empty())
            out += ", ";
        out += entry;
    }
    return out;
}

std::string refusal(std::string_view option, std::string_view message) {
    return "--" + std::string(option) + ": " + std::string(message);
}

// A list entry the dialog offers, matched as shown (case aside); stores its position.
std::optional<std::string> takeListEntry(std::string_view option, const std::string& text,
                                         std::span<const std::string_view> list,
                                         std::int32_t& position) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (lower(list[i]) == lower(text)) {
            position = static_cast<std::int32_t>(i);
            return std::nullopt;
        }
    }
    return refusal(option, "\"" + text + "\" is not one of " + joined(list) + ".");
}

std::optional<std::string> takeDecimal(std::string_view option, const std::string& text,
                                       ParameterField field, std::int32_t& value) {
    const std::optional<DecimalRange> range = decimalRange(field);
    if (!range)
        return refusal(option, "no range is known for this field.");
    if (auto message = readIntegerText(text, *range, value))
        return refusal(option, *message);
    return std::nullopt;
}

// The dialog's hexadecimal box, except that an empty text is refused: on a command line it
// is an unset variable far more often than a wish for 0.
std::optional<std::string> takeHexText(std::string_view option, const std::string& text,
                                       ParameterField field, std::uint32_t& value) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; }))
        return refusal(option, hexNumberMessage(field));
    if (auto error = readHexText(field, text, value))
        return refusal(option, error->message);
    return std::nullopt;
}

std::optional<std::string> takeHexField(std::string_view option, const std::string& text,
                                        ParameterField field, std::int32_t& target) {
    std::uint32_t value = 0;
    if (auto refused = takeHexText(option, text, field, value))
        return refused;
    if (auto message = checkHexRange(field, static_cast<std::int32_t>(value)))
        return refusal(option, *message);
    target = static_cast<std::int32_t>(value);
    return std::nullopt;
}

std::optional<std::string> takeFlow(const std::string& text, std::int32_t& flow) {
    FlowChecks checks;
    bool none = false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = lower(std::string_view(text).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start));
        if (item == "dtr")
            checks.dtrDsr = true;
        else if (item == "rts")
            checks.rtsCts = true;
        else if (item == "xon")
            checks.xonXoff = true;
        else if (item == "none")
            none = true;
        else
            return refusal("flow", "\"" + item + "\" is not one of dtr, rts, xon, none.");
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (none && (checks.dtrDsr || checks.rtsCts || checks.xonXoff))
        return refusal("flow", "\"none\" cannot be combined with dtr, rts or xon.");
    flow = flowFrom(checks);
    return std::nullopt;
}

} // namespace

std::optional<std::string> applyOverrides(const SettingOverrides& o, CommSettings& comm,
                                          ProtocolParameters& params) {
    struct NumberOption {
        const std::optional<std::string>& text;
        const char* option;
        ParameterField field;
        std::int32_t& value;
    };
    // The dialogs' order, so that the first refusal is the one the dialog would show.
    if (o.baud)
        if (auto r = takeListEntry("baud", *o.baud, kBaudRateList, comm.BaudRate))
            return r;
    if (o.dataBits)
        if (auto r = takeListEntry("data-bits", *o.dataBits, kDataBitsList, comm.DataBits))
            return r;
    if (o.parity)
        if (auto r = takeListEntry("parity", *o.parity, kParityList, comm.Parity))
            return r;
    if (o.stopBits)
        if (auto r = takeListEntry("stop-bits", *o.stopBits, kStopBitsList, comm.StopBits))
            return r;
    if (o.flow)
        if (auto r = takeFlow(*o.flow, comm.Flow))
            return r;

    const NumberOption decimals[] = {
        {o.txInterval, "tx-interval", ParameterField::Code30, params.Code30},
        {o.txWait, "tx-wait", ParameterField::Code31, params.Code31},
        {o.timeoutWrite, "timeout-write", ParameterField::Code51, params.Code51},
        {o.timeoutSector, "timeout-sector", ParameterField::Code52, params.Code52},
        {o.timeoutErase, "timeout-erase", ParameterField::Code53, params.Code53},
        {o.timeoutChecksum, "timeout-checksum", ParameterField::Code54, params.Code54},
    };
    for (const NumberOption& d : decimals)
        if (d.text)
            if (auto r = takeDecimal(d.option, *d.text, d.field, d.value))
                return r;
    if (o.sectorSize)
        if (auto r = takeListEntry("sector-size", *o.sectorSize, kSectorSizeList, params.Code61))
            return r;
    const NumberOption hexes[] = {
        {o.eraseFirst, "erase-first", ParameterField::Code62_1, params.Code62_1},
        {o.eraseSectors, "erase-sectors", ParameterField::Code62_2, params.Code62_2},
        {o.writeFirst, "write-first", ParameterField::Code63_1, params.Code63_1},
        {o.writeLast, "write-last", ParameterField::Code63_2, params.Code63_2},
    };
    for (const NumberOption& h : hexes)
        if (h.text)
            if (auto r = takeHexField(h.option, *h.text, h.field, h.value))
                return r;
    if (o.fullChecksum) {
        if (auto r = takeHexText("full-checksum", *o.fullChecksum, ParameterField::Code72,
                                 params.Code72))
            return r;
        params.CheckCode72 = 1;
    }
    if (o.noFullChecksum)
        params.CheckCode72 = 0;
    return std::nullopt;
}

} // namespace pexo::cli
