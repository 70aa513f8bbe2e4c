#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace pexo {

class Host;
struct DownloadContext;
struct PortOpenFailure;

// Receives every chunk the reader thread reads (at most kReadChunkSize bytes), in arrival
// order, on the reader thread. In the program this is the reply handler. It must not wait
// for the thread that calls closePort.
using ReceiveSink = std::function<void(std::span<const std::uint8_t>)>;

inline constexpr std::size_t kReadChunkSize = 80;

// Opens the context's port exclusively, applies its line settings, starts the reader thread
// handing chunks to `sink` and raises DTR. Returns 1 on success, 0 on failure; a failure
// leaves nothing open and `connected` at 0, and puts the reason in `failure` when given.
int openPort(Host& host, ReceiveSink sink, std::string* failure = nullptr);
int openPort(DownloadContext& ctx, ReceiveSink sink, std::string* failure = nullptr);
// The same, with the failure told apart (PortOpenFailure.h); its text() is the reason above.
int openPort(DownloadContext& ctx, ReceiveSink sink, PortOpenFailure* failure);

// Applies the context's line settings to the open port. 1 on success, 0 on failure.
int configurePort(Host& host, std::string* failure = nullptr);
int configurePort(DownloadContext& ctx, std::string* failure = nullptr);

// Ends the reader thread (returning only after it has ended), releases a writer that flow
// control holds, clears DTR, flushes both directions and closes the port. Returns 1, or 0
// when there is no context. Closing a port that is not open does nothing.
int closePort(Host& host);
int closePort(DownloadContext& ctx);

// How long one write may wait for the line. Zero means no limit of that kind.
struct WriteLimits {
    // The whole frame, from the first byte offered until the last has left the port.
    std::chrono::milliseconds total{0};
    // The line taking no byte and sending none of what it holds for this long.
    std::chrono::milliseconds stall{0};
};

// Writes one frame and waits until it has left the port (the driver's output queue is
// empty), so that what is timed after it starts at the end of transmission. Ends short when a
// limit passes: result 10 with "Write Timeout: Total of %ld bytes sent" (what left the port);
// a driver failure records 10 with "<CE-%u>". Returns 1 when the write was started, 0 when
// there is no context or open port, writes were cancelled, or the write failed before any
// byte could be offered.
int writePort(Host& host, const std::uint8_t* bytes, std::size_t length);
// With the total limit of writeTimeLimit() and no stall limit.
int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length);
int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length,
              WriteLimits limits);

// Offers bytes to the port without waiting for room or for them to leave: returns how many
// the driver took now (0 when the line holds them back). Driver failures are recorded as by
// writePort.
std::size_t offerPortBytes(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length);

// Releases every writer waiting on the line, and makes later writes return at once without
// sending, until the port is next opened. For stopping a run whose line is held by flow
// control: nothing is recorded. Any thread; never blocks.
void cancelPortWrites(DownloadContext& ctx);

// length × (19200 / baudRate) ms, integer division; zero (no limit) from 38400 baud up.
std::chrono::milliseconds writeTimeLimit(std::size_t length, std::uint32_t baudRate);

} // namespace pexo
