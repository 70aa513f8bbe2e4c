#include "core/settings/StationSettings.h"

#include "core/settings/ProfileFile.h"
#include "core/settings/ValueText.h"

#include <algorithm>

namespace pexo {
namespace {

constexpr std::string_view kSection = "Station UserSettings";
// Far more ports than a fixture has; bounds what a damaged file can make us read.
constexpr std::int32_t kMaxPorts = 256;

std::string portKey(std::size_t index) {
    return "Port" + std::to_string(index + 1);
}

unsigned readBounded(const IniDocument& doc, std::string_view key, unsigned low, unsigned high,
                     unsigned fallback) {
    const auto text = doc.get(kSection, key);
    const auto value = text ? readDecimal(*text) : std::nullopt;
    if (!value || *value < static_cast<std::int32_t>(low) ||
        *value > static_cast<std::int32_t>(high))
        return fallback;
    return static_cast<unsigned>(*value);
}

} // namespace

bool LoadStationSettings(StationSettings& settings, const std::string& file) {
    const IniDocument doc = file.empty() ? IniDocument{} : readProfile(file);
    const StationSettings builtIn;
    settings.recordFile = doc.get(kSection, "RecordFile").value_or(std::string{});
    settings.retries =
        readBounded(doc, "Retries", 0, StationSettings::kMaxRetries, builtIn.retries);
    settings.goneAfterMs = readBounded(doc, "GoneAfter", StationSettings::kMinGoneAfterMs,
                                       StationSettings::kMaxGoneAfterMs, builtIn.goneAfterMs);
    settings.ports.clear();
    const unsigned count = readBounded(doc, "PortCount", 0, kMaxPorts, 0);
    for (std::size_t i = 0; i < count; ++i) {
        auto port = doc.get(kSection, portKey(i));
        if (port && !port->empty() &&
            std::find(settings.ports.begin(), settings.ports.end(), *port) == settings.ports.end())
            settings.ports.push_back(std::move(*port));
    }
    return true;
}

bool SaveStationSettings(const StationSettings& settings, const std::string& file) {
    if (file.empty() || settings.ports.size() > static_cast<std::size_t>(kMaxPorts))
        return false;
    // Keys of ports ticked last time but not now are emptied: the section has no way to
    // lose a key, and a stale one must not come back.
    StationSettings before;
    LoadStationSettings(before, file);
    const std::size_t keys = std::max(settings.ports.size(), before.ports.size());

    std::vector<std::string> names;
    std::vector<ProfileEntry> entries;
    names.reserve(keys);
    entries.reserve(keys + 4);
    entries.push_back({"RecordFile", settings.recordFile});
    entries.push_back({"Retries", formatDecimal(static_cast<std::int32_t>(settings.retries))});
    entries.push_back(
        {"GoneAfter", formatDecimal(static_cast<std::int32_t>(settings.goneAfterMs))});
    entries.push_back(
        {"PortCount", formatDecimal(static_cast<std::int32_t>(settings.ports.size()))});
    for (std::size_t i = 0; i < keys; ++i) {
        names.push_back(portKey(i));
        entries.push_back({names.back(), i < settings.ports.size() ? settings.ports[i] : ""});
    }
    return writeProfileStrings(file, kSection, entries);
}

} // namespace pexo
