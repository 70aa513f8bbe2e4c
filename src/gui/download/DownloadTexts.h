#pragma once

// The fixed texts of the download dialogs and the Download command.

namespace pexo::gui::texts {

// Connect prompt.
inline constexpr char kConnectTitle[] = "Connect Mode";
inline constexpr char kConnectMessage[] = "Please Connect Mobiles";
inline constexpr char kContinue[] = "Continue";
inline constexpr char kCancelEsc[] = "Cancel(ESC)";

// Progress dialog.
inline constexpr char kDownloadTitle[] = "Download";
inline constexpr char kDownloading[] = "Downloading";
inline constexpr char kProtocolInfo[] = "Protocol Info.";
inline constexpr char kElapsedZero[] = "00:00:00";

// Result dialogs.
inline constexpr char kStatusTitle[] = "Download status";
inline constexpr char kDone[] = "Done(ESC)";
inline constexpr char kInfo[] = "Info.";
inline constexpr char kErrorInfo[] = "Error Info.";
inline constexpr char kNormalEnd[] = "normal end.";

// The Download command's stop messages (the first two are the core's own texts).
inline constexpr char kConnectionFailed[] = "RS232C connection failed.";

} // namespace pexo::gui::texts
