#include "core/image/OpenArchive.h"

#include "ImageTestDoubles.h"
#include "TestPlatform.h"
#include "core/app/Paths.h"
#include "core/image/ArchiveNotify.h"
#include "core/image/ArchiverCommand.h"
#include "core/image/ExtractionLock.h"
#include "core/image/ImageDocument.h"
#include "core/image/ImageMessages.h"
#include "core/image/RegisteredMessage.h"
#include "support/LhaFixtures.h"

#include <gtest/gtest.h>
#include <tuple>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class OpenArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string base = scratch.str();
        previous = setPathEnvironment({[base] { return base + "/bin/pexo"; },
                                       [base, this] { return windowsFolder ? base + "/win" : ""; }});
        // The platform's own layout under the stand-in folder.
        folder = resolvePath(PathKind::ExtractFolder).value_or("");
        fs::create_directories(folder);
        // The extraction lock refuses a folder others may write into, whatever the umask.
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        archive = scratch.str() + "/image.lzh";
        writeFileBytes(archive, "what the fake archiver is asked about");
    }
    void TearDown() override { setPathEnvironment(previous); }

    // An extracted file as the fake archiver would have left it.
    std::string extracted(const std::string& name, std::size_t size) {
        std::string content;
        for (std::size_t i = 0; i < size; ++i)
            content.push_back(static_cast<char>('0' + i % 10));
        writeFileBytes(folder + name, content);
        return folder + name;
    }

    bool open() { return open(archive); }
    bool open(const std::string& path, bool withArchiver = true) {
        return openArchive(document, path, {host, withArchiver ? &archiver : nullptr, &progress});
    }

    ScratchFolder scratch;
    PathEnvironment previous;
    bool windowsFolder = true;
    std::string folder;
    std::string archive;
    RecordingHost host;
    RecordingProgress progress;
    FakeArchiver archiver;
    ImageDocument document;
};

TEST_F(OpenArchiveTest, SuccessfulOpenRecordsTheImageAndShowsProgress) {
    const std::string path = extracted("IMAGE.BIN", 524288);
    archiver.notifications = {{0, 524288, 0, path, {}},
                              {1, 524288, 65536, path, {}},
                              {1, 524288, 524288, path, {}},
                              {2, 524288, 524288, path, {}}};
    bool disabledDuringRun = false;
    archiver.duringRun = [&] { disabledDuringRun = !progress.windowEnabled; };

    ASSERT_TRUE(open());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.file, path);
    EXPECT_EQ(host.size, 524288u);
    EXPECT_EQ(document.image().size(), 524288u);
    EXPECT_EQ(document.buffer().size(), 524288u + 1024u);
    EXPECT_EQ(document.image()[12345], '0' + 12345 % 10);
    EXPECT_TRUE(disabledDuringRun);

    EXPECT_EQ(archiver.calls, (Calls{"busy", "check " + archive + " 0", "count " + archive,
                                     "setOwner", "run", "clearOwner"}));
    EXPECT_EQ(archiver.commandLine, "e -nyc " + archive + " " + folder);
    EXPECT_EQ(archiver.runWindow, nullptr);
    EXPECT_EQ(archiver.outputSize, 519u);
    EXPECT_TRUE(archiver.outputWasEmpty);
    EXPECT_EQ(archiver.callback, &ArchiveNotify);
    EXPECT_NE(archiver.owner, nullptr);
    EXPECT_EQ(archiver.clearedOwner, archiver.owner);
    EXPECT_EQ(archiver.replies, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(progress.calls, (Calls{"status " + archive, "enabled 0", "show " + path, "range 5242",
                                     "position 655", "position 5242", "hide", "enabled 1"}));
}

TEST_F(OpenArchiveTest, LastMemberToBeginIsTheImage) {
    const std::string first = extracted("FIRST.BIN", 3000);
    const std::string second = extracted("SECOND.BIN", 700);
    archiver.notifications = {{0, 3000, 0, first, {}},  {2, 3000, 3000, first, {}},
                              {0, 700, 0, second, {}},  {2, 700, 700, second, {}},
                              {0, 50, 0, std::string(), {}}};
    ASSERT_TRUE(open());
    EXPECT_EQ(host.file, second);
    EXPECT_EQ(host.size, 700u);
    EXPECT_EQ(document.image().size(), 700u);
}

TEST_F(OpenArchiveTest, NinetyNineByteMemberHasAnEmptyProgressRange) {
    const std::string path = extracted("SMALL.BIN", 99);
    archiver.notifications = {{0, 99, 0, path, {}}, {1, 99, 50, path, {}}, {1, 99, 99, path, {}},
                              {2, 99, 99, path, {}}};
    ASSERT_TRUE(open());
    EXPECT_EQ(progress.calls, (Calls{"status " + archive, "enabled 0", "show " + path, "range 0",
                                     "position 0", "position 0", "hide", "enabled 1"}));
    EXPECT_EQ(host.size, 99u);
}

TEST_F(OpenArchiveTest, LengthIsTheArchiversNotTheFiles) {
    const std::string path = extracted("IMAGE.BIN", 64);
    archiver.notifications = {{0, 40, 0, path, {}}};
    ASSERT_TRUE(open());
    EXPECT_EQ(document.image().size(), 40u);

    archiver.notifications = {{0, 65, 0, path, {}}};
    EXPECT_FALSE(open());
    EXPECT_EQ(host.messages, Calls{messages::kReadError});
    EXPECT_EQ(host.file, "");
}

TEST_F(OpenArchiveTest, BusyArchiverIsReportedAndNothingElseRuns) {
    archiver.busyResult = 1;
    EXPECT_FALSE(open());
    EXPECT_EQ(firstLines(host.messages), Calls{messages::kArchiverFailed});
    EXPECT_EQ(host.icons, std::vector<MessageIcon>{MessageIcon::Stop});
    EXPECT_EQ(archiver.calls, Calls{"busy"});
    EXPECT_EQ(progress.calls,
              (Calls{"status " + archive, "enabled 0", "enabled 1", "status Stop"}));
}

TEST_F(OpenArchiveTest, UnusableArchivesAreFileFormatErrors) {
    for (auto [check, count] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{1, -1}}) {
        SCOPED_TRACE(std::to_string(check) + " " + std::to_string(count));
        archiver.calls.clear();
        host.messages.clear();
        host.file = "stale";
        archiver.checkResult = check;
        archiver.countResult = count;
        EXPECT_FALSE(open());
        EXPECT_EQ(firstLines(host.messages), Calls{messages::kFileFormatError});
        EXPECT_EQ(host.file, "");
        EXPECT_EQ(std::count(archiver.calls.begin(), archiver.calls.end(), "run"), 0);
        EXPECT_EQ(progress.calls.back(), "status Stop");
    }
}

TEST_F(OpenArchiveTest, FailedRunIsAStopAndForgetsTheImage) {
    const std::string path = extracted("IMAGE.BIN", 10);
    archiver.notifications = {{0, 10, 0, path, {}}, {2, 10, 10, path, {}}};
    archiver.runResult = PEXOARC_ERROR_DATA;
    EXPECT_FALSE(open());
    EXPECT_EQ(firstLines(host.messages), Calls{messages::kStop});
    EXPECT_EQ(host.file, "");
    EXPECT_EQ(progress.calls.back(), "status Stop");
    EXPECT_EQ(archiver.calls.back(), "clearOwner");
}

TEST_F(OpenArchiveTest, WithoutArchiverTheEmptyPathFailsToOpen) {
    EXPECT_FALSE(open(archive, false));
    EXPECT_EQ(host.messages, Calls{messages::kFileOpenFailed});
    EXPECT_EQ(progress.calls, (Calls{"status " + archive, "enabled 0", "enabled 1"}));
    EXPECT_EQ(host.file, "");
}

TEST_F(OpenArchiveTest, ExtractedFileThatCannotBeOpened) {
    archiver.notifications = {{0, 10, 0, folder + "GONE.BIN", {}}};
    EXPECT_FALSE(open());
    EXPECT_EQ(host.messages, Calls{messages::kFileOpenFailed});
    EXPECT_EQ(host.file, "");
}

TEST_F(OpenArchiveTest, UnresolvableExtractionFolderStopsBeforeTheRun) {
    windowsFolder = false;
    EXPECT_FALSE(open());
    EXPECT_EQ(firstLines(host.messages), Calls{messages::kStop});
    EXPECT_EQ(std::count(archiver.calls.begin(), archiver.calls.end(), "run"), 0);
}

TEST_F(OpenArchiveTest, OpenAfterAFailureStartsClean) {
    archiver.runResult = 1;
    EXPECT_FALSE(open());
    document.setLoadFailed(true);
    archiver.runResult = 0;
    const std::string path = extracted("IMAGE.BIN", 10);
    archiver.notifications = {{0, 10, 0, path, {}}};
    host.messages.clear();
    EXPECT_TRUE(open());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(document.loadFailed());
    EXPECT_EQ(host.file, path);
}

TEST_F(OpenArchiveTest, EveryFailureSaysWhy) {
    const std::tuple<int, int, int, std::string, std::string> rows[] = {
        // busy, check, run result, run output, message
        {1, 1, 0, "", "Failed to run UNLHA32.DLL\nanother archive is being unpacked"},
        {0, 0, 0, "", "File format error\n" + archive + ": not an LHA archive"},
        {0, 1, 5, "IMAGE.BIN: LHa data CRC error", "Stop\nIMAGE.BIN: LHa data CRC error"},
        // An output that fills the buffer without a terminator is read within the buffer.
        {0, 1, 5, std::string(600, 'x'), "Stop\n" + std::string(519, 'x')},
        {0, 1, 7, "", "Stop\nthe archiver stopped with code 7"},
    };
    for (const auto& [busy, check, run, output, message] : rows) {
        host.messages.clear();
        archiver.busyResult = busy;
        archiver.checkResult = check;
        archiver.runResult = run;
        archiver.runOutput = output;
        EXPECT_FALSE(open());
        EXPECT_EQ(host.messages, Calls{message});
    }
}

TEST_F(OpenArchiveTest, ExtractionLockThatCannotBeHadStopsBeforeTheRun) {
    std::string error;
    auto held = ExtractionLockFile::open(folder, error);
    ASSERT_TRUE(held && held->tryLock(error) == ExtractionLockFile::Attempt::Taken) << error;
    ArchiveOpenContext noWait{host, &archiver, &progress};
    noWait.lockWait.limit = {};
    EXPECT_FALSE(openArchive(document, archive, noWait));
    held.reset();
    Calls expected = {"Stop\nanother program is still unpacking into " + folder + " (waited 0 s)"};
    // Others who may write into the folder could hold the lock for ever (where permission bits
    // say so).
    if (fileMode(folder)) {
        fs::permissions(folder, fs::perms::group_write, fs::perm_options::add);
        EXPECT_FALSE(openArchive(document, archive, noWait));
        expected.push_back("Stop\nextraction folder " + folder.substr(0, folder.size() - 1) +
                           " is not private to this user");
    }
    EXPECT_EQ(host.messages, expected);
    EXPECT_EQ(std::count(archiver.calls.begin(), archiver.calls.end(), "run"), 0);
}

TEST_F(OpenArchiveTest, PathsWithBlanksAreQuotedOnTheCommandLine) {
    const std::string path = extracted("IMAGE.BIN", 1);
    archiver.notifications = {{0, 1, 0, path, {}}};
    fs::create_directory(scratch.path() / "my data");
    // Windows allows no quotes in names, and its paths hold backslashes, quoted as well.
    std::string name = "the \"image\".lzh";
    std::string quoted = "the \\\"image\\\".lzh";
    writeFileBytes(scratch.path() / "my data" / name, "x");
    std::error_code ec;
    if (!fs::exists(scratch.path() / "my data" / name, ec)) {
        name = quoted = "the image.lzh";
        writeFileBytes(scratch.path() / "my data" / name, "x");
    }
    std::string base;
    for (char c : scratch.str())
        base += c == '\\' ? std::string("\\\\") : std::string(1, c);
    ASSERT_TRUE(open(scratch.str() + "/my data/" + name));
    EXPECT_EQ(archiver.commandLine, "e -nyc \"" + base + "/my data/" + quoted + "\" " + folder);
    EXPECT_EQ(quoteArchiverPath("a\\b c"), "\"a\\\\b c\"");
    EXPECT_EQ(quoteArchiverPath("a\\b"), "a\\b");
    EXPECT_EQ(quoteArchiverPath(""), "\"\"");
}

TEST(ArchiverCommandTest, PathsStartingWithADashAreNotSwitches) {
    EXPECT_EQ(extractCommandLine("-x.lzh", "-out/"), "e -nyc ./-x.lzh ./-out/");
    EXPECT_EQ(extractCommandLine("-my x.lzh", "/t/"), "e -nyc \"./-my x.lzh\" /t/");
    EXPECT_EQ(extractCommandLine("/a/-x.lzh", "t-/"), "e -nyc /a/-x.lzh t-/");
}

TEST(ArchiveNotifyTest, IgnoresForeignMessagesAndBadRecords) {
    RecordingHost host;
    RecordingProgress progress;
    ExtractionOwner owner{&host, &progress};
    std::vector<unsigned char> record(PEXOARC_RECORD_SIZE, 0);
    const std::uint32_t length = 1234;
    std::memcpy(record.data(), &length, 4);
    std::memcpy(record.data() + PEXOARC_RECORD_PATH, "/x/IMAGE.BIN", 12);
    const unsigned int message = extractNotificationMessage();

    EXPECT_EQ(ArchiveNotify(&owner, message + 1, 0, record.data()), 1);
    EXPECT_EQ(ArchiveNotify(&owner, message, 0, nullptr), 1);
    EXPECT_EQ(ArchiveNotify(nullptr, message, 0, record.data()), 1);
    EXPECT_EQ(ArchiveNotify(&owner, message, 7, record.data()), 1);
    EXPECT_EQ(host.file, "");
    EXPECT_TRUE(progress.calls.empty());

    // A path without its terminator is cut at the end of the record.
    std::fill(record.begin() + PEXOARC_RECORD_PATH, record.end(), 'p');
    EXPECT_EQ(ArchiveNotify(&owner, message, 0, record.data()), 1);
    EXPECT_EQ(host.file, std::string(PEXOARC_RECORD_PATH_CAPACITY - 1, 'p'));
    EXPECT_EQ(host.size, 1234u);

    // Without a status bar only the image is recorded.
    ExtractionOwner bare{&host, nullptr};
    std::memcpy(record.data() + PEXOARC_RECORD_PATH, "/y\0", 3);
    EXPECT_EQ(ArchiveNotify(&bare, message, 0, record.data()), 1);
    EXPECT_EQ(ArchiveNotify(&bare, message, 1, record.data()), 1);
    EXPECT_EQ(ArchiveNotify(&bare, message, 2, record.data()), 1);
    EXPECT_EQ(host.file, "/y");
}

TEST(RegisteredMessageTest, SameNumberForTheSameNameWhateverItsCase) {
    const unsigned int number = registerWindowMessage("wm_arcextract");
    EXPECT_EQ(number, extractNotificationMessage());
    EXPECT_EQ(registerWindowMessage("WM_ArcExtract"), number);
    EXPECT_EQ(number, PexoArcMessageNumber("wm_arcextract"));
    EXPECT_GE(number, 0xC000u);
    EXPECT_LE(number, 0xFFFFu);
    EXPECT_NE(registerWindowMessage("wm_other"), number);
}

} // namespace
} // namespace pexo::test
