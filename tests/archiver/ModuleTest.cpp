// Drives the built module as an outside program would: loaded by path, the six names only.
#include "LoadedArchiver.h"
#include "support/LhaFixtures.h"
#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;

struct Event {
    void* window;
    unsigned int message;
    unsigned int state;
    std::uint32_t length;
    std::uint32_t written;
    std::string path;
};

// The owner handed to the module; collects every notification.
struct Recorder {
    std::vector<Event> events;
    std::function<int(const Event&)> reply = [](const Event&) { return 1; };

    static int notify(void* window, unsigned int message, unsigned int state, void* record) {
        auto* self = static_cast<Recorder*>(window);
        const auto* bytes = static_cast<const unsigned char*>(record);
        Event e{window, message, state, 0, 0, {}};
        std::memcpy(&e.length, bytes + PEXOARC_RECORD_FULL_LENGTH, 4);
        std::memcpy(&e.written, bytes + PEXOARC_RECORD_WRITTEN, 4);
        e.path = reinterpret_cast<const char*>(bytes + PEXOARC_RECORD_PATH);
        self->events.push_back(e);
        return self->reply(e);
    }

    std::vector<Event> ofState(unsigned int state) const {
        std::vector<Event> out;
        for (const auto& e : events) {
            if (e.state == state)
                out.push_back(e);
        }
        return out;
    }
};

std::map<std::string, std::pair<std::size_t, std::string>> expectedMembers() {
    std::map<std::string, std::pair<std::size_t, std::string>> members;
    std::ifstream in(lhaFixture("members.tsv"));
    std::string name, sha;
    std::size_t size;
    while (in >> name >> size >> sha)
        members[name] = {size, sha};
    return members;
}

std::string fileSha(const fs::path& path) {
    return sha256Hex(readFileBytes(path));
}

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module = new LoadedArchiver(archiverModulePath()); }
    static void TearDownTestSuite() {
        delete module;
        module = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(module->handle) << module->loadError;
        ASSERT_TRUE(module->complete());
        folder = scratch.path() / "x" / "PexoTEMP";
        module->setOwner(&recorder, &Recorder::notify);
    }
    void TearDown() override {
        if (module->handle)
            module->clearOwner(&recorder);
    }

    int extract(const std::string& archive, const std::string& target) {
        const std::string line = "e -nyc \"" + archive + "\" \"" + target + "\"";
        output.fill('\0');
        return module->run(nullptr, line.c_str(), output.data(), output.size());
    }
    int extractFixture(const std::string& name) {
        return extract(lhaFixture(name), folder.string() + "/");
    }

    // Every member that began ended, and nothing but these files is in the scratch folder.
    void expectOnlyFiles(const std::vector<std::string>& names) {
        std::vector<std::string> expected = {"x", "x/PexoTEMP"};
        for (const auto& name : names)
            expected.push_back("x/PexoTEMP/" + name);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(scratch.listing(), expected);
        EXPECT_EQ(recorder.ofState(PEXOARC_STATE_BEGIN).size(),
                  recorder.ofState(PEXOARC_STATE_END).size());
    }

    static LoadedArchiver* module;
    ScratchFolder scratch;
    fs::path folder;
    Recorder recorder;
    std::array<char, 519> output{};
};

LoadedArchiver* ModuleTest::module = nullptr;

class GoodFixtureTest : public ModuleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(GoodFixtureTest, ExtractsTheMemberWithItsNotifications) {
    const auto members = expectedMembers();
    const std::string archive = lhaFixture(GetParam());
    EXPECT_NE(module->checkArchive(archive.c_str(), PEXOARC_CHECK_HEADER), 0);
    EXPECT_NE(module->checkArchive(archive.c_str(), PEXOARC_CHECK_FULL), 0);
    EXPECT_EQ(module->memberCount(archive.c_str()), 1);

    ASSERT_EQ(extractFixture(GetParam()), PEXOARC_OK) << output.data();
    const fs::path image = folder / "IMAGE.BIN";
    EXPECT_EQ(fileSha(image), members.at("IMAGE.BIN").second);
    expectOnlyFiles({"IMAGE.BIN"});

    ASSERT_GE(recorder.events.size(), 3u);
    const Event& begin = recorder.events.front();
    EXPECT_EQ(begin.state, PEXOARC_STATE_BEGIN);
    EXPECT_EQ(begin.window, &recorder);
    EXPECT_EQ(begin.message, PexoArcMessageNumber("wm_arcextract"));
    EXPECT_EQ(begin.length, 6000u);
    EXPECT_EQ(begin.written, 0u);
    EXPECT_EQ(begin.path, folder.string() + "/IMAGE.BIN");
    std::uint32_t last = 0;
    for (const auto& e : recorder.ofState(PEXOARC_STATE_WRITE)) {
        EXPECT_GT(e.written, last);
        last = e.written;
    }
    EXPECT_EQ(last, 6000u);
    EXPECT_EQ(recorder.events.back().state, PEXOARC_STATE_END);
    EXPECT_EQ(recorder.events.back().written, 6000u);
}

INSTANTIATE_TEST_SUITE_P(MethodsAndHeaderLevels, GoodFixtureTest,
                         ::testing::Values("lh0-h0.lzh", "lh0-h1.lzh", "lh0-h2.lzh", "lh5-h0.lzh",
                                           "lh5-h1.lzh", "lh5-h2.lzh", "lh6-h0.lzh", "lh6-h1.lzh",
                                           "lh6-h2.lzh", "lh7-h0.lzh", "lh7-h1.lzh",
                                           "lh7-h2.lzh"));

TEST_F(ModuleTest, TwoMembersAreReportedInArchiveOrder) {
    const auto members = expectedMembers();
    EXPECT_EQ(module->memberCount(lhaFixture("two-members.lzh").c_str()), 2);
    ASSERT_EQ(extractFixture("two-members.lzh"), PEXOARC_OK);
    const auto begins = recorder.ofState(PEXOARC_STATE_BEGIN);
    ASSERT_EQ(begins.size(), 2u);
    EXPECT_EQ(begins[0].path, folder.string() + "/FIRST.BIN");
    EXPECT_EQ(begins[0].length, 3000u);
    EXPECT_EQ(begins[1].path, folder.string() + "/IMAGE.BIN");
    EXPECT_EQ(begins[1].length, 6000u);
    EXPECT_EQ(fileSha(folder / "FIRST.BIN"), members.at("FIRST.BIN").second);
    EXPECT_EQ(fileSha(folder / "IMAGE.BIN"), members.at("IMAGE.BIN").second);
    expectOnlyFiles({"FIRST.BIN", "IMAGE.BIN"});
}

TEST_F(ModuleTest, LargeMemberReportsGrowingProgress) {
    ASSERT_EQ(extractFixture("big-lh5.lzh"), PEXOARC_OK);
    const auto writes = recorder.ofState(PEXOARC_STATE_WRITE);
    ASSERT_GT(writes.size(), 1u);
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_GT(writes[i].written, writes[i - 1].written);
    EXPECT_EQ(writes.back().written, 524288u);
    EXPECT_EQ(fileSha(folder / "BIG.BIN"), expectedMembers().at("BIG.BIN").second);
}

TEST_F(ModuleTest, EmptyMemberIsWritten) {
    ASSERT_EQ(extractFixture("empty-member.lzh"), PEXOARC_OK);
    EXPECT_EQ(fs::file_size(folder / "EMPTY.BIN"), 0u);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].length, 0u);
}

TEST_F(ModuleTest, MacMembersGiveTheirDataFork) {
    std::string fork;
    for (int i = 0; i < 200; ++i)
        fork.push_back(static_cast<char>(i));
    ASSERT_EQ(extractFixture("mac-macbinary.lzh"), PEXOARC_OK) << output.data();
    const auto data = readFileBytes(folder / "IMAGE.BIN");
    EXPECT_EQ(std::string(data.begin(), data.end()), fork);
    EXPECT_EQ(recorder.events.front().length, 200u);
    EXPECT_EQ(recorder.ofState(PEXOARC_STATE_WRITE).back().written, 200u);

    // Without the Mac OS mark, or when the MacBinary header names another file, every byte
    // of the member is the image.
    for (const char* name : {"mac-other-name.lzh", "unix-macbinary.lzh"}) {
        SCOPED_TRACE(name);
        recorder.events.clear();
        ASSERT_EQ(extractFixture(name), PEXOARC_OK);
        EXPECT_EQ(fs::file_size(folder / "IMAGE.BIN"), 384u);
        EXPECT_EQ(recorder.events.front().length, 384u);
    }
}

class DamagedFixtureTest : public ModuleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedFixtureTest, FailsAndLeavesNoFile) {
    const std::string archive = lhaFixture(GetParam());
    EXPECT_EQ(module->checkArchive(archive.c_str(), PEXOARC_CHECK_FULL), 0);
    EXPECT_NE(extractFixture(GetParam()), PEXOARC_OK);
    EXPECT_NE(output[0], '\0') << "the output explains the failure";
    expectOnlyFiles({});
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, DamagedFixtureTest,
    ::testing::Values("truncated-lh0.lzh", "truncated-lh5.lzh", "corrupt-lh0.lzh",
                      "corrupt-lh5.lzh", "overlong-lh5.lzh", "length-larger.lzh",
                      "length-smaller.lzh", "header-sum-h0.lzh", "header-sum-h1.lzh",
                      "header-crc-h2.lzh", "not-an-archive.lzh", "empty.lzh", "end-only.lzh"));

TEST_F(ModuleTest, UnusableArchivesFailTheQuickChecks) {
    for (const char* name : {"header-sum-h0.lzh", "header-sum-h1.lzh", "header-crc-h2.lzh",
                             "not-an-archive.lzh", "empty.lzh", "end-only.lzh"}) {
        const std::string archive = lhaFixture(name);
        EXPECT_EQ(module->checkArchive(archive.c_str(), PEXOARC_CHECK_HEADER), 0) << name;
        EXPECT_LT(module->memberCount(archive.c_str()), 1) << name;
    }
    EXPECT_EQ(module->checkArchive((scratch.str() + "/missing.lzh").c_str(), 0), 0);
    EXPECT_EQ(module->checkArchive(scratch.str().c_str(), 0), 0) << "a folder is no archive";
    EXPECT_EQ(module->checkArchive(nullptr, 0), 0);
    EXPECT_LT(module->memberCount(nullptr), 1);
}

TEST_F(ModuleTest, FifoIsRefusedWithoutBlocking) {
    const fs::path fifo = scratch.path() / "pipe.lzh";
    if (!makeFifo(fifo))
        GTEST_SKIP() << "no FIFOs on this system";
    EXPECT_EQ(module->checkArchive(fifo.string().c_str(), 0), 0);
    EXPECT_LT(module->memberCount(fifo.string().c_str()), 1);
    EXPECT_EQ(extract(fifo.string(), folder.string() + "/"), PEXOARC_ERROR_ARCHIVE);
}

TEST_F(ModuleTest, HostileNamesLandFlatInsideTheFolder) {
    const std::map<std::string, std::string> landings = {
        {"hostile-dotdot.lzh", "evil.bin"},
        {"hostile-absolute.lzh", "pexo-absolute.bin"},
        {"hostile-deep-dotdot.lzh", "pexo-deep.bin"},
        {"hostile-backslash.lzh", "pexo-bs.bin"},
    };
    const bool absoluteExisted = fs::exists("/tmp/pexo-absolute.bin");
    for (const auto& [archive, name] : landings) {
        SCOPED_TRACE(archive);
        fs::remove_all(scratch.path() / "x");
        recorder.events.clear();
        ASSERT_EQ(extractFixture(archive), PEXOARC_OK) << output.data();
        expectOnlyFiles({name});
        EXPECT_EQ(recorder.ofState(PEXOARC_STATE_BEGIN).at(0).path, folder.string() + "/" + name);
    }
    if (!absoluteExisted) {
        EXPECT_FALSE(fs::exists("/tmp/pexo-absolute.bin"));
    }
}

TEST_F(ModuleTest, UnnamableMembersAreSkipped) {
    EXPECT_EQ(module->memberCount(lhaFixture("hostile-unnamable.lzh").c_str()), 1);
    ASSERT_EQ(extractFixture("hostile-unnamable.lzh"), PEXOARC_OK);
    expectOnlyFiles({"IMAGE.BIN"});
    ASSERT_EQ(recorder.ofState(PEXOARC_STATE_BEGIN).size(), 1u);
    const auto bytes = readFileBytes(folder / "IMAGE.BIN");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the real image\n");
}

TEST_F(ModuleTest, SymbolicLinkMembersAreSkipped) {
    EXPECT_EQ(module->memberCount(lhaFixture("hostile-symlink.lzh").c_str()), 1);
    ASSERT_EQ(extractFixture("hostile-symlink.lzh"), PEXOARC_OK);
    expectOnlyFiles({"IMAGE.BIN"});
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "IMAGE.BIN")));
    EXPECT_FALSE(fs::exists("/tmp/pexo-symlink-target"));

    for (const char* name : {"symlink-only.lzh", "directory-only.lzh"}) {
        SCOPED_TRACE(name);
        recorder.events.clear();
        fs::remove_all(scratch.path() / "x");
        EXPECT_EQ(module->memberCount(lhaFixture(name).c_str()), 0);
        EXPECT_EQ(extractFixture(name), PEXOARC_OK);
        EXPECT_TRUE(recorder.events.empty());
        expectOnlyFiles({});
    }
}

TEST_F(ModuleTest, LinkAlreadyInTheFolderIsReplacedNotFollowed) {
    const fs::path outside = scratch.path() / "outside.txt";
    writeFileBytes(outside, "keep me");
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    std::error_code ec;
    fs::create_symlink(outside, folder / "IMAGE.BIN", ec);
    if (ec)
        GTEST_SKIP() << "no symbolic link here: " << ec.message();
    ASSERT_EQ(extractFixture("lh5-h1.lzh"), PEXOARC_OK);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "IMAGE.BIN")));
    const auto kept = readFileBytes(outside);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
}

TEST_F(ModuleTest, MissingFolderIsCreatedPrivate) {
    const fs::path deep = scratch.path() / "a" / "b" / "PexoTEMP";
    ASSERT_EQ(extract(lhaFixture("lh5-h0.lzh"), deep.string() + "/"), PEXOARC_OK);
    EXPECT_TRUE(fs::is_regular_file(deep / "IMAGE.BIN"));
    for (const fs::path& p : {scratch.path() / "a", scratch.path() / "a" / "b", deep}) {
        if (const auto mode = fileMode(p)) {
            EXPECT_EQ(*mode, 0700u) << p;
        }
    }
    // A folder given without the final separator is the same folder.
    recorder.events.clear();
    ASSERT_EQ(extract(lhaFixture("bytes10.lzh"), deep.string()), PEXOARC_OK);
    EXPECT_EQ(recorder.events.at(0).path, (deep / "BYTES10.BIN").string());
}

TEST_F(ModuleTest, UnsafeFoldersAreRefused) {
    const fs::path real = scratch.path() / "real";
    fs::create_directory(real);
    fs::permissions(real, fs::perms::owner_all, fs::perm_options::replace);
    std::vector<fs::path> refused;

    // The trailing slash would make lstat follow the link.
    const fs::path link = scratch.path() / "link";
    std::error_code ec;
    fs::create_directory_symlink(real, link, ec);
    if (!ec) {
        refused.push_back(link.string() + "/");
        refused.push_back(link.string() + "//");
    }

    const fs::path shared = scratch.path() / "shared";
    fs::create_directory(shared);
    if (shareWithEveryone(shared))
        refused.push_back(shared.string() + "/");

    const fs::path file = scratch.path() / "file";
    writeFileBytes(file, "x");
    refused.push_back(file.string() + "/");

    fs::path foreign = foreignFolder();
    if (foreign.empty()) {
        foreign = scratch.path() / "foreign";
        fs::create_directory(foreign);
        fs::permissions(foreign, fs::perms::owner_all, fs::perm_options::replace);
        if (!giveToAnotherUser(foreign))
            foreign.clear();
    }
    if (!foreign.empty())
        refused.push_back(foreign.string() + "/");

    for (const fs::path& target : refused) {
        EXPECT_EQ(extract(lhaFixture("lh5-h0.lzh"), target.string()), PEXOARC_ERROR_FOLDER)
            << target;
    }
    EXPECT_TRUE(fs::is_empty(real));
    EXPECT_TRUE(fs::is_empty(shared));
    EXPECT_TRUE(recorder.events.empty());
    if (refused.size() < 5)
        GTEST_SKIP() << "only " << refused.size() << " of 5 cases: no symbolic links, "
                     << "permission bits or other users here";
}

TEST_F(ModuleTest, QuotedPathsWithBlanksAndQuotes) {
    // Paths are UTF-8 on the command line and in the record, whatever the system's code page.
    // Windows allows neither quotes nor backslashes in names; its paths hold backslashes anyway.
    fs::path odd = scratch.path() / fs::path(u8"with blank \"and\" quote\\ \u00e9\u65e5");
    std::error_code ec;
    if (!fs::create_directory(odd, ec)) {
        odd = scratch.path() / fs::path(u8"with blank \u00e9\u65e5");
        fs::create_directory(odd);
    }
    fs::copy_file(lhaFixture("bytes99.lzh"), odd / "my archive.lzh");
    const fs::path target = odd / "Pexo TEMP";
    auto utf8 = [](const fs::path& p) {
        const std::u8string text = p.u8string();
        return std::string(text.begin(), text.end());
    };
    auto quote = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\')
                q.push_back('\\');
            q.push_back(c);
        }
        return q + "\"";
    };
    const std::string line = "e -nyc " + quote(utf8(odd / "my archive.lzh")) + " " +
                             quote(utf8(target) + "/");
    ASSERT_EQ(module->run(nullptr, line.c_str(), output.data(), output.size()), PEXOARC_OK)
        << output.data();
    EXPECT_EQ(fs::file_size(target / "BYTES99.BIN"), 99u);
    EXPECT_EQ(recorder.events.at(0).path, utf8(target) + "/BYTES99.BIN");
}

TEST_F(ModuleTest, MalformedCommandLinesAreRefused) {
    const std::string archive = lhaFixture("lh5-h0.lzh");
    const std::string target = folder.string() + "/";
    for (const std::string& line :
         {std::string(), "x -nyc " + archive + " " + target, "e -nyc " + archive,
          "e -nyc " + archive + " " + target + " extra", "e -q " + archive + " " + target,
          "e -nyc \"" + archive + " " + target}) {
        EXPECT_EQ(module->run(nullptr, line.c_str(), output.data(), output.size()),
                  PEXOARC_ERROR_COMMAND)
            << line;
    }
    EXPECT_EQ(module->run(nullptr, nullptr, output.data(), output.size()), PEXOARC_ERROR_COMMAND);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(ModuleTest, OutputStaysWithinItsSize) {
    std::array<char, 16> small;
    small.fill('#');
    const std::string line = "e -nyc " + scratch.str() + "/missing.lzh " + folder.string() + "/";
    EXPECT_NE(module->run(nullptr, line.c_str(), small.data(), 8), PEXOARC_OK);
    EXPECT_EQ(std::strlen(small.data()), 7u);
    for (std::size_t i = 8; i < small.size(); ++i)
        EXPECT_EQ(small[i], '#');
    EXPECT_NE(module->run(nullptr, line.c_str(), nullptr, 0), PEXOARC_OK);
}

TEST_F(ModuleTest, CallbackCanStopTheRun) {
    recorder.reply = [](const Event& e) { return e.state == PEXOARC_STATE_BEGIN ? 0 : 1; };
    EXPECT_EQ(extractFixture("lh5-h0.lzh"), PEXOARC_ERROR_STOPPED);
    EXPECT_EQ(recorder.events.back().state, PEXOARC_STATE_END);
    expectOnlyFiles({});

    recorder.events.clear();
    recorder.reply = [](const Event& e) { return e.state == PEXOARC_STATE_WRITE ? 0 : 1; };
    EXPECT_EQ(extractFixture("big-lh5.lzh"), PEXOARC_ERROR_STOPPED);
    EXPECT_EQ(recorder.ofState(PEXOARC_STATE_WRITE).size(), 1u);
    expectOnlyFiles({});
}

TEST_F(ModuleTest, OwnerIsClearedOnlyByItself) {
    int other = 0;
    EXPECT_EQ(module->clearOwner(&other), 0);
    ASSERT_EQ(extractFixture("bytes10.lzh"), PEXOARC_OK);
    EXPECT_FALSE(recorder.events.empty()) << "a foreign clear left the owner in place";

    EXPECT_NE(module->clearOwner(&recorder), 0);
    recorder.events.clear();
    ASSERT_EQ(extractFixture("bytes99.lzh"), PEXOARC_OK);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(fs::file_size(folder / "BYTES99.BIN"), 99u);
}

TEST_F(ModuleTest, BusyDuringARunAndASecondRunIsRefused) {
    EXPECT_EQ(module->busy(), 0);
    std::mutex m;
    std::condition_variable cv;
    bool inside = false;
    bool release = false;
    int busyInside = 0;
    recorder.reply = [&](const Event& e) {
        if (e.state == PEXOARC_STATE_BEGIN) {
            busyInside = module->busy();
            std::unique_lock lock(m);
            inside = true;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::seconds(30), [&] { return release; });
        }
        return 1;
    };
    int firstResult = -1;
    std::thread first([&] { firstResult = extractFixture("lh5-h0.lzh"); });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return inside; }));
    }
    EXPECT_NE(module->busy(), 0);
    std::array<char, 64> out{};
    const std::string line = "e -nyc " + lhaFixture("bytes10.lzh") + " " + scratch.str() + "/y/";
    EXPECT_EQ(module->run(nullptr, line.c_str(), out.data(), out.size()), PEXOARC_ERROR_BUSY);
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    first.join();
    EXPECT_EQ(firstResult, PEXOARC_OK);
    EXPECT_NE(busyInside, 0);
    EXPECT_EQ(module->busy(), 0);
    EXPECT_FALSE(fs::exists(scratch.path() / "y"));
}

} // namespace
} // namespace pexo::test
