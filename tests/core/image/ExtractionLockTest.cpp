// Opens waiting for one another on the extraction lock, on threads of one program, through the
// built module.
#include "core/image/ExtractionLock.h"

#include "RealArchiver.h"
#include "core/image/ImageMessages.h"
#include "support/Sha256.h"

#include <atomic>
#include <fstream>
#include <future>
#include <thread>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The fixture every open here unpacks, and its image's digest.
const std::string kArchive = "lh5-h0.lzh";

std::string imageSha() {
    std::ifstream in(lhaFixture("members.tsv"));
    std::string name, sha;
    std::size_t size;
    while (in >> name >> size >> sha) {
        if (name == "IMAGE.BIN")
            return sha;
    }
    return {};
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

TEST_F(ExtractionLockTest, AnOpenWaitsForTheLockAndSaysSo) {
    const std::string archive = lhaFixture(kArchive);
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
    EXPECT_EQ(sha256Hex(document.image()), imageSha());
}

TEST_F(ExtractionLockTest, AStopEndsTheWaitAndTheOpenFails) {
    const std::string archive = lhaFixture(kArchive);
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
