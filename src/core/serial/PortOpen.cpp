#include "core/protocol/DownloadContext.h"
#include "core/serial/PortDevice.h"
#include "core/serial/PortOpenFailure.h"
#include "core/serial/PortPlatform.h"
#include "core/serial/ReaderThread.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"
// The platform's PortHandles, complete (PortHandlesPosix.h or PortHandlesWindows.h, as the
// build picks): this file moves and frees them.
#include PEXO_PORT_HANDLES_HEADER

namespace pexo {
namespace {

int failed(PortOpenFailure* failure, std::string detail) {
    if (failure) {
        *failure = PortOpenFailure{};
        failure->detail = std::move(detail);
    }
    return 0;
}

// Gives the device back once the reader has ended and every writer has left.
void releaseDevice(DownloadContext& ctx, SerialLink& link) {
    std::unique_ptr<PortHandles> handles;
    {
        std::lock_guard lock(link.mutex);
        handles = std::move(link.handles);
        link.closing = false;
    }
    closePortDevice(*handles);
    ctx.commHandle = -1;
}

} // namespace

int openPort(DownloadContext& ctx, ReceiveSink sink, PortOpenFailure* failure) {
    if (!ctx.serialLink)
        ctx.serialLink = std::make_shared<SerialLink>();
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    {
        std::lock_guard lock(link->mutex);
        if (link->isOpen())
            return failed(failure, link->path + " is already open");
    }
    // A port left open by an earlier run would make this one's thread look like it.
    if (ctx.readerThread.joinable())
        return failed(failure, "the previous reader thread is still attached");

    const std::string path = resolvePortDevice(ctx);
    if (path.empty())
        return failed(failure, "no serial device is configured");
    std::unique_ptr<PortHandles> handles = openPortDevice(ctx, path, failure);
    if (!handles)
        return 0;
    PortHandles& device = *handles;
    {
        std::lock_guard lock(link->mutex);
        link->handles = std::move(handles);
        link->path = path;
        link->closing = false;
        link->writesCancelled = false;
    }
    link->sink = std::move(sink);
    ctx.commHandle = portHandleNumber(device);

    std::string refused;
    if (!configurePort(ctx, &refused)) {
        ctx.connected = false;
        releaseDevice(ctx, *link);
        link->sink = nullptr;
        return failed(failure, refused);
    }
    ctx.connected = true;
    if (!startReaderThread(ctx, link)) {
        ctx.connected = false;
        releaseDevice(ctx, *link);
        link->sink = nullptr;
        return failed(failure, "cannot start the serial reader thread");
    }
    raiseModemLines(ctx, device);
    ctx.closeOpenPort = [](DownloadContext& open) { closePort(open); };
    return 1;
}

int closePort(DownloadContext& ctx) {
    ctx.connected = false;
    ctx.closeOpenPort = nullptr;
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link)
        return 1;
    bool open = false;
    {
        std::lock_guard lock(link->mutex);
        open = link->isOpen();
        if (open) {
            link->closing = true;
            wakeForClose(*link->handles);
        }
    }
    if (!open) {
        joinReaderThread(ctx);
        return 1;
    }
    const bool joined = joinReaderThread(ctx);
    {
        // Woken writers leave at once; the port must outlive them.
        std::unique_lock lock(link->mutex);
        link->writersGone.wait(lock, [&] { return link->activeWriters == 0; });
    }
    dropLine(*link->handles);
    releaseDevice(ctx, *link);
    if (joined)
        link->sink = nullptr;
    return 1;
}

} // namespace pexo
