#include "core/settings/SettingsFile.h"

#include "core/settings/ProfileFile.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/ValueText.h"

#include <array>

namespace pexo {
namespace {

// The platform read used a 50-byte buffer for these values.
constexpr std::size_t kHexTextLimit = 49;

void loadDecimal(const IniDocument& doc, std::string_view section, std::string_view key,
                 std::int32_t& field, std::int32_t fallback) {
    const auto text = doc.get(section, key);
    const auto value = text ? readDecimal(*text) : std::nullopt;
    field = value ? *value : fallback;
}

template <typename Field>
void loadHex(const IniDocument& doc, std::string_view section, std::string_view key, Field& field,
             int digits) {
    std::string text =
        doc.get(section, key).value_or(formatHex(static_cast<std::uint32_t>(field), digits));
    if (text.size() > kHexTextLimit)
        text.resize(kHexTextLimit);
    scanHexInto(text, field);
}

void loadComm(const IniDocument& doc, CommSettings& s, SettingsSection section) {
    const auto name = commSectionName(section);
    const CommSettings builtIn;
    loadDecimal(doc, name, "Port", s.Port, builtIn.Port);
    loadDecimal(doc, name, "Baud Rate", s.BaudRate, builtIn.BaudRate);
    loadDecimal(doc, name, "Data Bits", s.DataBits, builtIn.DataBits);
    loadDecimal(doc, name, "Parity", s.Parity, builtIn.Parity);
    loadDecimal(doc, name, "Stop Bits", s.StopBits, builtIn.StopBits);
    loadDecimal(doc, name, "Flow", s.Flow, builtIn.Flow);
}

void loadParams(const IniDocument& doc, ProtocolParameters& p, SettingsSection section) {
    const auto name = paramSectionName(section);
    loadDecimal(doc, name, "Code30", p.Code30, p.Code30);
    loadDecimal(doc, name, "Code31", p.Code31, p.Code31);
    loadDecimal(doc, name, "Code51", p.Code51, p.Code51);
    loadDecimal(doc, name, "Code52", p.Code52, p.Code52);
    loadDecimal(doc, name, "Code53", p.Code53, p.Code53);
    loadDecimal(doc, name, "Code54", p.Code54, p.Code54);
    loadDecimal(doc, name, "Code61", p.Code61, p.Code61);
    loadDecimal(doc, name, "CheckCode72", p.CheckCode72, p.CheckCode72);
    loadHex(doc, name, "Code62_1", p.Code62_1, 6);
    loadHex(doc, name, "Code62_2", p.Code62_2, 4);
    loadHex(doc, name, "Code63_1", p.Code63_1, 6);
    loadHex(doc, name, "Code63_2", p.Code63_2, 4);
    loadHex(doc, name, "Code72", p.Code72, 8);
}

std::string hex(std::int32_t v, int digits) {
    return formatHex(static_cast<std::uint32_t>(v), digits);
}

} // namespace

std::string_view commSectionName(SettingsSection section) {
    return section == SettingsSection::User ? kCommUserSection : kCommDefaultSection;
}

std::string_view paramSectionName(SettingsSection section) {
    return section == SettingsSection::User ? kParamUserSection : kParamDefaultSection;
}

std::optional<std::string> settingsFilePath() {
    const auto files = settingsFiles();
    return files ? std::optional(files->saveTo()) : std::nullopt;
}

std::string settingsReadPath() {
    const auto files = settingsFiles();
    return files ? files->readFrom() : std::string{};
}

std::string settingsSavePath() {
    const auto files = settingsFiles();
    return files && prepareSettingsSave(*files) ? files->saveTo() : std::string{};
}

bool LoadCommSettings(CommSettings& settings, SettingsSection section) {
    return LoadCommSettings(settings, section, settingsReadPath());
}

bool LoadCommSettings(CommSettings& settings, SettingsSection section, const std::string& file) {
    loadComm(file.empty() ? IniDocument{} : readProfile(file), settings, section);
    return true;
}

bool SaveCommSettings(const CommSettings& settings, SettingsSection section) {
    const std::string file = settingsSavePath();
    return !file.empty() && SaveCommSettings(settings, section, file);
}

bool SaveCommSettings(const CommSettings& s, SettingsSection section, const std::string& file) {
    const std::array<ProfileEntry, 6> entries{{
        {"Port", formatDecimal(s.Port)},
        {"Baud Rate", formatDecimal(s.BaudRate)},
        {"Data Bits", formatDecimal(s.DataBits)},
        {"Parity", formatDecimal(s.Parity)},
        {"Stop Bits", formatDecimal(s.StopBits)},
        {"Flow", formatDecimal(s.Flow)},
    }};
    return !file.empty() && writeProfileStrings(file, commSectionName(section), entries);
}

bool LoadProtocolParameters(ProtocolParameters& params, SettingsSection section) {
    return LoadProtocolParameters(params, section, settingsReadPath());
}

bool LoadProtocolParameters(ProtocolParameters& params, SettingsSection section,
                            const std::string& file) {
    loadParams(file.empty() ? IniDocument{} : readProfile(file), params, section);
    return true;
}

bool SaveProtocolParameters(const ProtocolParameters& params, SettingsSection section) {
    const std::string file = settingsSavePath();
    return !file.empty() && SaveProtocolParameters(params, section, file);
}

bool SaveProtocolParameters(const ProtocolParameters& p, SettingsSection section,
                            const std::string& file) {
    const std::array<ProfileEntry, 13> entries{{
        {"Code30", formatDecimal(p.Code30)},
        {"Code31", formatDecimal(p.Code31)},
        {"Code51", formatDecimal(p.Code51)},
        {"Code52", formatDecimal(p.Code52)},
        {"Code53", formatDecimal(p.Code53)},
        {"Code54", formatDecimal(p.Code54)},
        {"Code61", formatDecimal(p.Code61)},
        {"CheckCode72", formatDecimal(p.CheckCode72)},
        {"Code62_1", hex(p.Code62_1, 6)},
        {"Code62_2", hex(p.Code62_2, 4)},
        {"Code63_1", hex(p.Code63_1, 6)},
        {"Code63_2", hex(p.Code63_2, 4)},
        {"Code72", formatHex(p.Code72, 8)},
    }};
    return !file.empty() && writeProfileStrings(file, paramSectionName(section), entries);
}

} // namespace pexo
