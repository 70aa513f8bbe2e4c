#include "support/PeerLine.h"
#include "support/PtyPair.h"

#include <dirent.h>
#include <sys/ioctl.h>

namespace pexo::test {

struct PeerLine::Device {
    PtyPair pty;
};

PeerLine::PeerLine() : device_(std::make_unique<Device>()) {}
PeerLine::~PeerLine() = default;

bool PeerLine::ok() const {
    return device_->pty.ok();
}

const std::string& PeerLine::portName() const {
    return device_->pty.path();
}

bool PeerLine::sendFromDevice(const std::vector<std::uint8_t>& bytes) {
    return device_->pty.sendFromDevice(bytes);
}

std::vector<std::uint8_t> PeerLine::receiveOnDevice(std::size_t count,
                                                    std::chrono::milliseconds timeout) {
    return device_->pty.receiveOnDevice(count, timeout);
}

std::size_t bytesQueuedAtPort(int commHandle) {
    int n = 0;
    if (commHandle < 0 || ::ioctl(commHandle, FIONREAD, &n) != 0)
        return 0;
    return static_cast<std::size_t>(n);
}

int openHandleCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}

} // namespace pexo::test
