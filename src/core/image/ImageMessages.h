#pragma once

namespace pexo::messages {

// Texts the operator sees when an archive cannot be opened (stop icon). The open gives the first
// three with the reason on a second line of the same message.
inline constexpr char kArchiverFailed[] = "Failed to run UNLHA32.DLL";
inline constexpr char kFileFormatError[] = "File format error";
inline constexpr char kStop[] = "Stop";
inline constexpr char kReadError[] = "Read error";
inline constexpr char kMemoryAllocError[] = "memory alloc error";
// The extracted file cannot be opened (also when no archiver is loaded and so no file is known).
inline constexpr char kFileOpenFailed[] = "Failed to open document.";

// The open waits for another program that is unpacking into the same extraction folder.
inline constexpr char kWaitingForExtraction[] =
    "Waiting for another program to finish unpacking...";

} // namespace pexo::messages
