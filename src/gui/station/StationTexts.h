#pragma once

// The production station window's fixed texts.

namespace pexo::gui::texts {

inline constexpr char kStationTitle[] = "Production Station - Pexo";

inline constexpr char kStationStart[] = "Start";
inline constexpr char kStationStop[] = "Stop";
inline constexpr char kStopTheStation[] = "Stop the station?";
inline constexpr char kRecordFilters[] =
    "Records (*.jsonl *.csv);;JSON Lines (*.jsonl);;CSV (*.csv);;All Files (*)";

// Tile states.
inline constexpr char kTileStarting[] = "Opening the port";
inline constexpr char kTilePortGone[] = "The port is gone: waiting for it to come back";
inline constexpr char kTileWaiting[] = "Waiting for device";
inline constexpr char kTileDownloading[] = "Downloading %1";
inline constexpr char kTileRecording[] = "Recording the result";
inline constexpr char kTileRemoval[] = "Waiting for the device to be removed";
inline constexpr char kTilePassed[] = "Passed %1";
inline constexpr char kTileFailed[] = "Failed: %1";
inline constexpr char kTileCancelled[] = "Cancelled";
inline constexpr char kTileCounts[] = "passed %1 / failed %2";

} // namespace pexo::gui::texts
