#pragma once

#include <cstdint>
#include <memory>

namespace pexo {

struct DownloadContext;
struct SerialLink;

// Starts the reader thread on the link's open port and stores it in ctx.readerThread.
// Returns once the thread has published its id in ctx.readerThreadId (or already ended).
// False when no thread could be started.
bool startReaderThread(DownloadContext& ctx, const std::shared_ptr<SerialLink>& link);

// Waits for the reader thread to end (it must have been told to: `connected` cleared and
// the link woken). From the reader thread itself it only lets go of it and returns false.
bool joinReaderThread(DownloadContext& ctx);

// The platform's part, on the reader thread: hands every chunk read to the link's sink until
// closePort wakes it, `connected` is cleared or the device is gone.
void readPortUntilClosed(DownloadContext& ctx, SerialLink& link);
// The system's number for the calling thread (never 0).
std::uint32_t currentThreadNumber();

} // namespace pexo
