#pragma once

#include <cstddef>
#include <cstdint>

namespace pexo {

class Host;
struct DownloadContext;

// Collects the device's reply to ctx.pendingRequest, one byte at a time. A complete reply
// either moves the protocol on (advanceStep) or records a result code (recordResult).
// Runs on the serial reader thread; any byte sequence in any chunking leaves the context
// consistent: at most DownloadContext::kReplyCapacity reply bytes are ever stored.
void handleReceivedBytes(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length);

// The reader thread's form: returns 0 when the host has no context, 1 otherwise.
int handleReceivedBytes(Host& host, const std::uint8_t* bytes, std::size_t length);

} // namespace pexo
