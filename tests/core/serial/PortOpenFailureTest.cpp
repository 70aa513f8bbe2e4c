#include "core/serial/PortOpenFailure.h"

#include "SerialTestSupport.h"
#include "support/PtyPair.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;

PortOpenFailure failure(PortProblem problem, int error) {
    PortOpenFailure f;
    f.problem = problem;
    f.port = "/dev/serial/by-id/usb-FTDI-port0";
    f.error = error;
    return f;
}

TEST(PortOpenFailureText, SaysWhatHappenedAndWhatToDo) {
    const std::string port = "/dev/serial/by-id/usb-FTDI-port0";
    const struct {
        const char* what;
        PortOpenFailure failure;
        std::string text;
    } cases[] = {
        {"no permission, not in the group", failure(PortProblem::NotPermitted, EACCES),
         port + ": Permission denied. Add your user to the dialout group: sudo usermod -aG "
                "dialout $USER, then log in again."},
        {"added to the group, not logged in again",
         [] {
             auto f = failure(PortProblem::NotPermitted, EACCES);
             f.group = "uucp";
             f.userInGroup = true;
             return f;
         }(),
         port + ": Permission denied. Your user is in the uucp group, but this session started "
                "before it was added: log in again."},
        {"in the group already",
         [] {
             auto f = failure(PortProblem::NotPermitted, EPERM);
             f.group = "dialout";
             f.userInGroup = f.sessionInGroup = true;
             return f;
         }(),
         port + ": Operation not permitted. This session is in the dialout group already: ask "
                "the administrator for read and write access to it."},
        {"held, lock file names the holder",
         [] {
             auto f = failure(PortProblem::InUse, EBUSY);
             f.holder = "minicom (PID 4711)";
             return f;
         }(),
         port + " is in use by another program: minicom (PID 4711)"},
        {"held, no lock file", failure(PortProblem::InUse, EWOULDBLOCK),
         port + " is in use by another program"},
        {"not a tty", failure(PortProblem::NotSerial, 0), port + " is not a serial device"},
        {"unplugged", failure(PortProblem::Missing, ENOENT),
         "cannot open " + port + ": No such file or directory"},
        {"own words",
         [] {
             PortOpenFailure f;
             f.detail = "no serial device is configured";
             return f;
         }(),
         "no serial device is configured"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.failure.text(), c.text) << c.what;
}

TEST(PortOpenFailureFacts, ThePermissionDetailNamesTheDevicesGroup) {
    // Only root can hand a file to another group; the dialout group is Debian's.
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || !dialout)
        GTEST_SKIP() << "needs root and a dialout group";
    const fs::path file = fs::temp_directory_path() / ("pexo-port-" + std::to_string(::getpid()));
    std::ofstream(file) << "";
    ASSERT_EQ(::chown(file.c_str(), 0, dialout->gr_gid), 0);
    const PortOpenFailure f = explainPortOpenFailure(file.string(), EACCES);
    fs::remove(file);
    EXPECT_EQ(f.problem, PortProblem::NotPermitted);
    EXPECT_EQ(f.port, file.string());
    EXPECT_EQ(f.group, "dialout");
    EXPECT_FALSE(f.sessionInGroup);
    EXPECT_EQ(explainPortOpenFailure("/nowhere", ENOENT).problem, PortProblem::Missing);
}

class HeldPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        fs::create_directories(locks);
        previous = setLockFolders({(locks / "missing").string(), locks.string()});
        // A by-id style name: messages must use it as given, the lock file the device's name.
        fs::create_symlink(pty.path(), link);
    }
    void TearDown() override {
        setLockFolders(previous);
        fs::remove_all(locks);
    }
    void lockFile(const std::string& bytes) {
        std::ofstream(locks / ("LCK.." + fs::path(pty.path()).filename().string()),
                      std::ios::binary | std::ios::trunc)
            << bytes;
    }

    PtyPair pty;
    const fs::path locks = fs::temp_directory_path() / ("pexo-locks-" + std::to_string(::getpid()));
    const fs::path link = locks / "usb-FTDI_FT232R-if00-port0";
    std::vector<std::string> previous;
};

TEST_F(HeldPort, TheHolderALockFileNamesIsToldWhenItIsAlive) {
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    const std::string self = comm + " (PID " + std::to_string(::getpid()) + ")";
    char pid[12];
    std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(::getpid()));
    const std::int32_t binaryPid = ::getpid();
    const struct {
        const char* what;
        std::string bytes;
        std::string holder;
    } cases[] = {
        {"HDB text", pid, self},
        {"binary", std::string(reinterpret_cast<const char*>(&binaryPid), sizeof binaryPid), self},
        {"stale", "2147483646\n", ""},
        {"garbage", "not a pid", ""},
    };
    for (const auto& c : cases) {
        lockFile(c.bytes);
        EXPECT_EQ(lockFileHolder(link.string()), c.holder) << c.what;
    }

    lockFile(pid);
    SerialTestHost holder;
    holder.ctx.devicePath = pty.path();
    ASSERT_EQ(openPort(holder, nullptr), 1);
    SerialTestHost second;
    second.ctx.devicePath = link.string();
    std::string why;
    EXPECT_EQ(openPort(second, nullptr, &why), 0);
    EXPECT_EQ(why, link.string() + " is in use by another program: " + self);
    PortOpenFailure typed;
    EXPECT_EQ(openPort(second.ctx, nullptr, &typed), 0);
    EXPECT_EQ(typed.problem, PortProblem::InUse);
    closePort(holder);
}

} // namespace
} // namespace pexo::test
