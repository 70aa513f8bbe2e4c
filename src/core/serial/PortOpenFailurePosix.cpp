#include "core/serial/PortOpenFailure.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <mutex>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace pexo {
namespace {

namespace fs = std::filesystem;

std::mutex lockFoldersMutex;
std::vector<std::string>& lockFolders() {
    static std::vector<std::string> folders{"/var/lock", "/run/lock"};
    return folders;
}

std::string groupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->gr_name;
}

bool sessionHasGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        for (gid_t g : groups)
            if (g == gid)
                return true;
    return false;
}

bool databaseHasUserInGroup(gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid)
            return true;
    return false;
}

// A lock file holds the PID as ten ASCII digits and a newline (HDB UUCP), or, from old
// programs, as a binary int, whose top byte is 0 for any PID there can be.
long lockFilePid(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() > 64)
        return 0;
    const bool text = bytes.size() != sizeof(std::int32_t) ||
                      bytes.find_first_not_of(" \n0123456789") == std::string::npos;
    if (!text) {
        std::int32_t binary = 0;
        std::memcpy(&binary, bytes.data(), sizeof binary);
        return binary;
    }
    long pid = 0;
    for (std::size_t i = bytes.find_first_not_of(' ');
         i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && pid < 100'000'000; ++i)
        pid = pid * 10 + (bytes[i] - '0');
    return pid;
}

bool processAlive(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string processName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::string systemErrorText(int error) {
    // generic_category's wording is thread-safe, unlike strerror's.
    return std::generic_category().message(error);
}

PortOpenFailure explainPortOpenFailure(const std::string& port, int error) {
    PortOpenFailure failure;
    failure.port = port;
    failure.error = error;
    switch (error) {
    case EACCES:
    case EPERM: {
        failure.problem = PortProblem::NotPermitted;
        struct stat st {};
        if (::stat(port.c_str(), &st) == 0 && st.st_gid != 0) {
            failure.group = groupName(st.st_gid);
            failure.userInGroup = databaseHasUserInGroup(st.st_gid);
            failure.sessionInGroup = sessionHasGroup(st.st_gid);
        }
        break;
    }
    case EBUSY:
    case EWOULDBLOCK:
        failure.problem = PortProblem::InUse;
        failure.holder = lockFileHolder(port);
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        failure.problem = PortProblem::Missing;
        break;
    default:
        break;
    }
    return failure;
}

std::vector<std::string> setLockFolders(std::vector<std::string> folders) {
    std::lock_guard lock(lockFoldersMutex);
    return std::exchange(lockFolders(), std::move(folders));
}

std::string lockFileHolder(const std::string& port) {
    std::error_code ec;
    const fs::path device = fs::canonical(port, ec);
    if (ec)
        return {};
    // Programs name the lock after the device's name; some keep the folder under /dev
    // ("pts_3"), most only the last part.
    std::string underDev = device.string();
    if (underDev.rfind("/dev/", 0) == 0)
        underDev.erase(0, 5);
    for (char& c : underDev)
        if (c == '/')
            c = '_';
    std::vector<std::string> folders;
    {
        std::lock_guard lock(lockFoldersMutex);
        folders = lockFolders();
    }
    for (const std::string& folder : folders) {
        for (const std::string& name : {device.filename().string(), underDev}) {
            const long pid = lockFilePid(fs::path(folder) / ("LCK.." + name));
            if (!processAlive(pid))
                continue;
            const std::string pidText = "PID " + std::to_string(pid);
            const std::string program = processName(pid);
            return program.empty() ? pidText : program + " (" + pidText + ")";
        }
    }
    return {};
}

} // namespace pexo
