#pragma once

#include "core/station/StationPort.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace pexo {

// Where one port of the station stands.
enum class PortState {
    WaitingForPort,   // the port is missing or cannot be opened; looked for again and again
    WaitingForDevice, // polling for the next device (or, on a retry, the same one)
    Downloading,
    Recording,         // the try's record is being written
    WaitingForRemoval, // the device flashed last still answers; it must go first
    Ended,
};

std::string_view portStateName(PortState state);

// Why a port stopped working.
enum class PortEnd {
    None,           // it has not
    Done,           // its devices are flashed (--count reached, or its one device)
    Stopped,        // a stop came
    SetupFailed,    // the port could not be opened at the start, or the protocol not run
    Refused,        // the settings or the image cannot serve (see the refusal)
    ConnectTimeout, // no device answered in time
    LineFailed,     // the line failed while waiting for the one device
    RecordFailed,   // a record could not be written
};

// What a display shows of a port; taken at any moment from any thread.
struct PortSnapshot {
    PortState state = PortState::WaitingForPort;
    PortEnd end = PortEnd::None;
    unsigned attempt = 0;                   // the try in progress, or the last one (1 = first)
    unsigned tries = 0;                     // download tries so far
    unsigned passed = 0;                    // devices whose last try ended normally
    unsigned failed = 0;                    // devices whose last try failed
    std::optional<std::int32_t> lastResult; // the last try's result; none when cancelled or none
    TryProgress progress;                   // while downloading
};

} // namespace pexo
