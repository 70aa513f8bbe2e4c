// Programs unpacking into the one extraction folder at once, through the built module.
#include "core/image/ExtractionLock.h"

#include "RealArchiver.h"
#include "core/image/ImageMessages.h"
#include "devsim/SampleArchive.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;
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

// The first notice of an open that runs on another thread.
class NoticeWatch : public ExtractionProgress {
public:
    void notice(std::string_view text) override { first_.set_value(std::string(text)); }
    std::future<std::string> first() { return first_.get_future(); }

private:
    std::promise<std::string> first_;
};

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

TEST_F(ExtractionLockTest, AnOpenWaitsForTheLockAndSaysSo) {
    const std::string archive = writeArchive(scratch, 'a');
    std::string error;
    auto held = ExtractionLockFile::open(folder, error);
    ASSERT_TRUE(held) << error;
    ASSERT_EQ(held->tryLock(error), ExtractionLockFile::Attempt::Taken) << error;

    NoticeWatch watch;
    auto notice = watch.first();
    bool opened = false;
    std::thread opener([&] { opened = openArchive(document, archive, {host, module, &watch}); });
    const bool noticed = notice.wait_for(10s) == std::future_status::ready;
    std::vector<std::string> whileWaiting;
    for (const auto& entry : fs::directory_iterator(folder))
        whileWaiting.push_back(entry.path().filename().string());
    held.reset();
    opener.join();

    ASSERT_TRUE(noticed);
    EXPECT_EQ(notice.get(), messages::kWaitingForExtraction);
    EXPECT_EQ(whileWaiting, std::vector<std::string>{PEXOARC_LOCK_FILE_NAME});
    EXPECT_TRUE(opened) << testing::PrintToString(host.messages);
    EXPECT_TRUE(std::ranges::equal(document.image(), imageOf('a')));
}

TEST_F(ExtractionLockTest, AStopEndsTheWaitAndTheOpenFails) {
    const std::string archive = writeArchive(scratch, 'a');
    std::string error;
    auto held = ExtractionLockFile::open(folder, error);
    ASSERT_TRUE(held) << error;
    ASSERT_EQ(held->tryLock(error), ExtractionLockFile::Attempt::Taken) << error;

    NoticeWatch watch;
    auto notice = watch.first();
    std::atomic<bool> stop{false};
    ArchiveOpenContext opening{host, module, &watch};
    opening.lockWait.limit = std::chrono::minutes(10); // only the stop ends it in time
    opening.lockWait.stopRequested = [&] { return stop.load(); };
    auto opened = std::async(std::launch::async,
                             [&] { return openArchive(document, archive, opening); });
    ASSERT_EQ(notice.wait_for(10s), std::future_status::ready);
    stop = true;
    const bool ended = opened.wait_for(10s) == std::future_status::ready;
    held.reset(); // lets a wait that missed the stop end too
    ASSERT_TRUE(ended) << "the stop was not seen";
    EXPECT_FALSE(opened.get());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].starts_with(std::string(messages::kStop) + "\n"))
        << host.messages[0];
}

} // namespace
} // namespace pexo::test
