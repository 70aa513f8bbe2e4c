// Two programs unpacking into the one extraction folder at once, through the built module: a
// forked process (POSIX only).
#include "RealArchiver.h"
#include "devsim/SampleArchive.h"

#include <algorithm>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pexo::test {
namespace {

using namespace std::chrono_literals;

// Images of one length that differ in every byte; each archive holds its image as IMAGE.BIN.
std::vector<std::uint8_t> imageOf(char fill) {
    return std::vector<std::uint8_t>(64 * 1024, static_cast<std::uint8_t>(fill));
}

std::string writeArchive(const ScratchFolder& scratch, char fill) {
    const auto bytes = devsim::storedLhaArchive("IMAGE.BIN", imageOf(fill), 0);
    const std::string path = scratch.str() + "/" + fill + ".lzh";
    writeFileBytes(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return path;
}

// How many of `rounds` opens of `archive` failed or gave another image than `fill`'s.
int wrongImages(ArchiverModule* module, const std::string& archive, char fill, int rounds) {
    const auto expected = imageOf(fill);
    int wrong = 0;
    for (int i = 0; i < rounds; ++i) {
        RecordingHost host;
        ImageDocument document;
        if (!openArchive(document, archive, {host, module, nullptr}) ||
            !std::ranges::equal(document.image(), expected))
            ++wrong;
    }
    return wrong;
}

// The exit status of a forked child; empty when it has not ended within `timeout`.
std::optional<int> exitStatus(pid_t child, std::chrono::milliseconds timeout) {
    // The system call itself: Debian 12's <sys/pidfd.h> lacks extern "C".
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{fd, POLLIN, 0};
    const bool done = fd >= 0 && ::poll(&ended, 1, static_cast<int>(timeout.count())) == 1;
    if (fd >= 0)
        ::close(fd);
    if (!done)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!done || !WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

using ExtractionLockTest = RealArchiverTest;

TEST_F(ExtractionLockTest, TwoProgramsUnpackingAtOnceEachGetTheirOwnImage) {
    constexpr int kRounds = 40;
    const std::string mine = writeArchive(scratch, 'a');
    const std::string theirs = writeArchive(scratch, 'b');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(std::min(wrongImages(module, theirs, 'b', kRounds), 100));
    EXPECT_EQ(wrongImages(module, mine, 'a', kRounds), 0);
    EXPECT_EQ(exitStatus(child, 120s), 0) << "wrong images in the other program";
}

} // namespace
} // namespace pexo::test
