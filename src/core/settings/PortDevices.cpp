#include "core/settings/PortDevices.h"

#include "core/settings/ProfileFile.h"
#include "core/settings/SettingsFile.h"

#include <array>

namespace pexo {
namespace {

constexpr std::string_view kSection = "RS232C Devices";

void loadPath(const IniDocument& doc, std::string_view key, std::string& field,
              const std::string& builtIn) {
    auto value = doc.get(kSection, key);
    field = value && !value->empty() ? std::move(*value) : builtIn;
}

} // namespace

bool LoadPortDevices(PortDevices& devices) {
    return LoadPortDevices(devices, settingsReadPath());
}

bool LoadPortDevices(PortDevices& devices, const std::string& file) {
    const IniDocument doc = file.empty() ? IniDocument{} : readProfile(file);
    const PortDevices builtIn;
    loadPath(doc, "COM1", devices.com1, builtIn.com1);
    loadPath(doc, "COM2", devices.com2, builtIn.com2);
    return true;
}

bool SavePortDevices(const PortDevices& devices) {
    const std::string file = settingsSavePath();
    return !file.empty() && SavePortDevices(devices, file);
}

bool SavePortDevices(const PortDevices& devices, const std::string& file) {
    const std::array<ProfileEntry, 2> entries{{{"COM1", devices.com1}, {"COM2", devices.com2}}};
    return !file.empty() && writeProfileStrings(file, kSection, entries);
}

} // namespace pexo
