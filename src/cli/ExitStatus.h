#pragma once

namespace pexo::cli {

// The exit statuses scripts and production lines rely on; 1..11 are the result codes.
inline constexpr int kExitNormalEnd = 0;
inline constexpr int kExitSetupFailed = 20;    // nothing was sent
inline constexpr int kExitConnectTimeout = 21; // the device never echoed the poll
inline constexpr int kExitInterrupted = 130;   // SIGINT, SIGTERM or SIGHUP

} // namespace pexo::cli
