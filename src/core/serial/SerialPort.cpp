// The platform-free edges of the serial link: the host overloads and the write limit.
#include "core/serial/SerialPort.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/PortFailure.h"
#include "core/serial/PortOpenFailure.h"

#include <limits>

namespace pexo {

using std::chrono::milliseconds;

std::chrono::milliseconds writeTimeLimit(std::size_t length, std::uint32_t baudRate) {
    if (baudRate == 0)
        return milliseconds(0);
    const std::uint64_t perByte = 19200u / baudRate;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (perByte != 0 && length > kMax / perByte)
        return milliseconds(milliseconds::max());
    return milliseconds(static_cast<std::int64_t>(length * perByte));
}

int openPort(DownloadContext& ctx, ReceiveSink sink, std::string* failure) {
    PortOpenFailure why;
    const int opened = openPort(ctx, std::move(sink), &why);
    if (!opened && failure)
        *failure = why.text();
    return opened;
}

int openPort(Host& host, ReceiveSink sink, std::string* failure) {
    DownloadContext* ctx = host.downloadContext();
    if (!ctx)
        return portFailure(failure, "there is no download context");
    return openPort(*ctx, std::move(sink), failure);
}

int configurePort(Host& host, std::string* failure) {
    DownloadContext* ctx = host.downloadContext();
    if (!ctx)
        return portFailure(failure, "there is no download context");
    return configurePort(*ctx, failure);
}

int closePort(Host& host) {
    DownloadContext* ctx = host.downloadContext();
    return ctx ? closePort(*ctx) : 0;
}

int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    return writePort(ctx, bytes, length, WriteLimits{writeTimeLimit(length, ctx.baudRate), {}});
}

int writePort(Host& host, const std::uint8_t* bytes, std::size_t length) {
    DownloadContext* ctx = host.downloadContext();
    return ctx ? writePort(*ctx, bytes, length) : 0;
}

} // namespace pexo
