#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "core/settings/SettingsSection.h"

#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// The section names of the settings file.
inline constexpr std::string_view kCommUserSection = "RS232C UserSettings";
inline constexpr std::string_view kCommDefaultSection = "RS232C Default";
inline constexpr std::string_view kParamUserSection = "Param UserSettings";
inline constexpr std::string_view kParamDefaultSection = "Param Default";

std::string_view commSectionName(SettingsSection section);
std::string_view paramSectionName(SettingsSection section);

// The program's settings file as saves go to it (SettingsLocation.h has the rule), resolved
// anew each time; empty when the program's location cannot be determined.
std::optional<std::string> settingsFilePath();
// The file the forms without a file read: the user's once it exists, else the program
// folder's. Empty when the program's location cannot be determined.
std::string settingsReadPath();
// The file the forms without a file write, made ready for the first save (the user's file
// seeded from the program folder's). Empty when there is none or it cannot be made.
std::string settingsSavePath();

// Each operation has two forms: one on the program's settings file, one on a file named by
// the caller (the command line's --settings). Without a resolvable path, loads behave as
// for a missing file and saves write nothing.
//
// Decimal values read as the platform's profile integer read does: leading blanks, an
// optional sign, the digits up to the first other character. A value that is empty or holds
// no digit counts as missing.

// Reads the six keys; a missing key gives the field's built-in default, whatever the record
// held before. Always true: a missing file, section or key is no error.
bool LoadCommSettings(CommSettings& settings, SettingsSection section);
bool LoadCommSettings(CommSettings& settings, SettingsSection section, const std::string& file);

// Writes the six keys ("%d") to the section. False when the file could not be written (a
// missing or read-only folder, a read-only file); the file is then as it was.
bool SaveCommSettings(const CommSettings& settings, SettingsSection section);
bool SaveCommSettings(const CommSettings& settings, SettingsSection section,
                      const std::string& file);

// Reads the thirteen keys over the record: a missing key keeps the field's current value, so
// callers reset the record to the built-in defaults first. The five hexadecimal values are
// read as at most 49 characters and scanned as "%x" does (ValueText.h). Always true.
bool LoadProtocolParameters(ProtocolParameters& params, SettingsSection section);
bool LoadProtocolParameters(ProtocolParameters& params, SettingsSection section,
                            const std::string& file);

// Writes the thirteen keys in their formats ("%d", "0x%06X", "0x%04X", "0x%08X"). False as
// for SaveCommSettings.
bool SaveProtocolParameters(const ProtocolParameters& params, SettingsSection section);
bool SaveProtocolParameters(const ProtocolParameters& params, SettingsSection section,
                            const std::string& file);

} // namespace pexo
