#include "core/serial/ReaderThread.h"

#include "core/protocol/DownloadContext.h"
#include "core/serial/SerialLink.h"

#include <future>
#include <system_error>

namespace pexo {
namespace {

void runReader(DownloadContext& ctx, std::shared_ptr<SerialLink> link,
               std::promise<void>& started) {
    ctx.readerThreadId.store(currentThreadNumber());
    started.set_value();
    readPortUntilClosed(ctx, *link);
    // The last action: closePort and the owner learn from it that the thread is over.
    ctx.readerThreadId.store(0);
}

} // namespace

bool startReaderThread(DownloadContext& ctx, const std::shared_ptr<SerialLink>& link) {
    std::promise<void> started;
    std::future<void> running = started.get_future();
    try {
        ctx.readerThread = std::thread(runReader, std::ref(ctx), link, std::ref(started));
    } catch (const std::system_error&) {
        return false;
    }
    running.wait();
    return true;
}

bool joinReaderThread(DownloadContext& ctx) {
    if (!ctx.readerThread.joinable())
        return true;
    if (ctx.readerThread.get_id() == std::this_thread::get_id()) {
        // Closed from within the sink: the loop ends as soon as the sink returns.
        ctx.readerThread.detach();
        return false;
    }
    ctx.readerThread.join();
    return true;
}

} // namespace pexo
