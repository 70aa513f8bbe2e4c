#pragma once

#include <string>
#include <vector>

namespace pexo {

// What the production station window remembers, in the settings file's section
// "Station UserSettings": the ports ticked (as they were named), the record file, the
// retries and the gone-after time.
struct StationSettings {
    static constexpr unsigned kMaxRetries = 9;
    static constexpr unsigned kMinGoneAfterMs = 100;
    static constexpr unsigned kMaxGoneAfterMs = 600000;

    std::vector<std::string> ports;
    std::string recordFile; // empty: the default in the user's data folder
    unsigned retries = 0;
    unsigned goneAfterMs = 2000;
};

// The record file when none was chosen: $XDG_DATA_HOME/pexo/records.jsonl, or
// ~/.local/share/pexo/records.jsonl when that variable is unset or not an absolute path; on
// Windows %LOCALAPPDATA%\Pexo\records.jsonl. Empty when no such place is known.
std::string defaultRecordFile();

// Reads the section; a missing file, section or key, or a value out of its range, gives the
// built-in value. Always true.
bool LoadStationSettings(StationSettings& settings, const std::string& file);

// Writes the section, leaving every other one as it was. Ports no longer ticked lose their
// keys' values. False when the file could not be written or a name cannot be stored so that
// it reads back; the file is then as it was.
bool SaveStationSettings(const StationSettings& settings, const std::string& file);

} // namespace pexo
