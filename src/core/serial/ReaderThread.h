#pragma once

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

} // namespace pexo
