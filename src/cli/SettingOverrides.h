#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"

#include <optional>
#include <string>

namespace pexo::cli {

// The command line's overrides of the settings, as typed. An absent option leaves the
// setting from the file alone.
struct SettingOverrides {
    std::optional<std::string> baud, dataBits, parity, stopBits, flow;
    std::optional<std::string> txInterval, txWait;
    std::optional<std::string> timeoutWrite, timeoutSector, timeoutErase, timeoutChecksum;
    std::optional<std::string> sectorSize;
    std::optional<std::string> eraseFirst, eraseSectors, writeFirst, writeLast;
    std::optional<std::string> fullChecksum;
    bool noFullChecksum = false; // CheckCode72 = 0; the parser refuses it with fullChecksum
};

// Applies the overrides with the settings dialogs' ranges and messages. On a refusal the
// message names the option; the records may then hold some of the new values.
std::optional<std::string> applyOverrides(const SettingOverrides& overrides, CommSettings& comm,
                                          ProtocolParameters& params);

} // namespace pexo::cli
