// The archiver's extraction, its quick check and its member count on any bytes as an archive.
// Whatever the bytes: nothing is written outside the extraction folder, the lock file there is
// left alone, and every file left under a member's name is that whole member as libarchive
// reads it again, on its own, from memory. A run succeeds exactly when every member it extracts
// reads whole, and the notifications describe the members in archive order.
#include "archiver/ArchiveReader.h"
#include "archiver/Extractor.h"
#include "archiver/PexoArc.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace pexo::archiver;
using Bytes = std::vector<std::uint8_t>;

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// root/archive.lzh is the input; root/parent/folder the extraction folder. The parent holds
// nothing else, so anything written beside the folder shows up there. The tree goes at exit.
struct Workspace {
    Workspace() {
        const char* tmp = std::getenv("TMPDIR");
        root = std::string(tmp && *tmp ? tmp : "/tmp") + "/pexo-fuzz-archive-XXXXXX";
        check(::mkdtemp(root.data()) != nullptr);
        archive = root + "/archive.lzh";
        parent = root + "/parent";
        folder = parent + "/folder";
        check(::mkdir(parent.c_str(), 0700) == 0);
    }
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    std::string root;
    std::string archive;
    std::string parent;
    std::string folder;
};

const Workspace& workspace() {
    static const Workspace space;
    return space;
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error))
        names.insert(entry.path().filename().string());
    return names;
}

std::size_t openDescriptors() {
    return entries("/proc/self/fd").size();
}

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    while (ok && size > 0) {
        const ssize_t n = ::write(fd, data, size);
        ok = n > 0;
        if (ok) {
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    return ::close(fd) == 0 && ok;
}

Bytes readFile(const std::string& path) {
    Bytes bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    check(fd >= 0);
    std::uint8_t buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    check(n == 0);
    ::close(fd);
    return bytes;
}

// A regular member extraction would write, as read on its own from memory.
struct Member {
    std::string name;
    Bytes data;
    bool whole = false; // stated length known and met, every block in order, CRC good
};

struct Reference {
    std::vector<Member> members; // up to and including the first that is not whole
    bool firstHeader = false;    // the first header reads
    bool complete = false;       // every header up to the end read, every member whole
    bool headerError = false;    // a header failed while every member before it was whole
};

// Reads no further than one block past `stated`: damaged data can decode to gigabytes.
void readMember(archive* a, Member& member, la_int64_t stated) {
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    int r;
    bool inOrder = true;
    while ((r = archive_read_data_block(a, &block, &size, &offset)) == ARCHIVE_OK) {
        inOrder = inOrder && offset == static_cast<la_int64_t>(member.data.size());
        const auto* bytes = static_cast<const std::uint8_t*>(block);
        member.data.insert(member.data.end(), bytes, bytes + size);
        if (static_cast<la_int64_t>(member.data.size()) > stated)
            break;
    }
    member.whole = inOrder && r == ARCHIVE_EOF;
}

Reference readReference(const std::uint8_t* data, std::size_t size) {
    Reference ref;
    archive* a = archive_read_new();
    check(a != nullptr);
    archive_read_support_format_lha(a);
    if (archive_read_open_memory(a, data, size) != ARCHIVE_OK) {
        archive_read_free(a);
        return ref;
    }
    for (bool first = true;; first = false) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF) {
            ref.complete = true;
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            ref.headerError = true;
            break;
        }
        ref.firstHeader = ref.firstHeader || first;
        const auto name = extractedName(entry);
        if (!name)
            continue;
        Member& member = ref.members.emplace_back();
        member.name = *name;
        const la_int64_t stated = archive_entry_size(entry);
        const bool statedOk = archive_entry_size_is_set(entry) && stated >= 0 &&
                              stated <= static_cast<la_int64_t>(UINT32_MAX);
        readMember(a, member, stated);
        member.whole =
            member.whole && statedOk && static_cast<la_int64_t>(member.data.size()) == stated;
        if (!member.whole)
            break;
    }
    archive_read_free(a);
    return ref;
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

// A Mac archiver's member is MacBinary: a 128-byte header stating the data fork's length at 83
// and the resource fork's at 87, then each fork padded to 128 bytes. The image is the data fork.
bool isDataFork(const Bytes& member, const Bytes& file) {
    if (member.size() < 128 || member.size() % 128 != 0)
        return false;
    const std::uint64_t length = bigEndian32(member.data() + 83);
    if (bigEndian32(member.data() + 87) != 0 || length != file.size() ||
        128 + (length + 127) / 128 * 128 != member.size())
        return false;
    return std::equal(file.begin(), file.end(), member.begin() + 128);
}

bool isMemberOutput(const Member& member, const Bytes& file) {
    return file == member.data || isDataFork(member.data, file);
}

std::uint32_t recordU32(const void* record, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, static_cast<const std::uint8_t*>(record) + offset, sizeof value);
    return value;
}

// What the notifications told about each member that began.
struct Notified {
    std::string path;
    std::uint32_t fullLength = 0;
    std::uint32_t written = 0;
    bool ended = false;
};

class Listener {
public:
    explicit Listener(std::optional<unsigned> stopAt) : stopAt_(stopAt) {}

    bool operator()(unsigned state, void* record) {
        // After a stop only the end of the member in progress may follow.
        check(!stoppedAt || (state == PEXOARC_STATE_END && *stoppedAt != PEXOARC_STATE_END &&
                             !members.back().ended));
        const char* path = static_cast<const char*>(record) + PEXOARC_RECORD_PATH;
        check(::strnlen(path, PEXOARC_RECORD_PATH_CAPACITY) < PEXOARC_RECORD_PATH_CAPACITY);
        const std::uint32_t full = recordU32(record, PEXOARC_RECORD_FULL_LENGTH);
        const std::uint32_t written = recordU32(record, PEXOARC_RECORD_WRITTEN);
        switch (state) {
        case PEXOARC_STATE_BEGIN:
            check(members.empty() || members.back().ended);
            members.push_back({path, full, written, false});
            check(written == 0);
            break;
        case PEXOARC_STATE_WRITE:
        case PEXOARC_STATE_END: {
            check(!members.empty() && !members.back().ended);
            Notified& m = members.back();
            check(m.path == path && m.fullLength == full);
            check(m.written <= written && written <= full);
            m.written = written;
            m.ended = state == PEXOARC_STATE_END;
            break;
        }
        default:
            check(false);
        }
        if (stopAt_ && count_++ == *stopAt_) {
            stoppedAt = state;
            return false;
        }
        return true;
    }

    std::vector<Notified> members;
    std::optional<unsigned> stoppedAt; // the state whose notification was answered with a stop

private:
    std::optional<unsigned> stopAt_;
    unsigned count_ = 0;
};

std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

constexpr const char* kLockContent = "held by the fuzzer\n";

void prepareFolder(const Workspace& w, bool withLock, struct stat& lockStat) {
    check(::mkdir(w.folder.c_str(), 0700) == 0);
    if (!withLock)
        return;
    const std::string lock = w.folder + "/" + PEXOARC_LOCK_FILE_NAME;
    check(writeFile(lock, reinterpret_cast<const std::uint8_t*>(kLockContent),
                    std::strlen(kLockContent)));
    check(::lstat(lock.c_str(), &lockStat) == 0);
}

// The last member of each name among those the run got through: what a successful run leaves.
const Member* lastNamed(const std::vector<Member>& members, const std::string& name) {
    const Member* found = nullptr;
    for (const Member& m : members)
        if (m.name == name)
            found = &m;
    return found;
}

void checkFolder(const Workspace& w, const Reference& ref, int result, bool withLock,
                 const struct stat& lockStat) {
    const std::set<std::string> left = entries(w.folder);
    std::set<std::string> named;
    for (const Member& m : ref.members)
        named.insert(m.name);
    for (const std::string& name : left) {
        const std::string path = w.folder + "/" + name;
        struct stat st {};
        check(::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
        // Extracted files are private: the image must not be swapped by others.
        check((st.st_mode & 077) == 0);
        if (withLock && name == PEXOARC_LOCK_FILE_NAME) {
            check(st.st_ino == lockStat.st_ino && st.st_dev == lockStat.st_dev);
            check(readFile(path) == Bytes(kLockContent, kLockContent + std::strlen(kLockContent)));
            continue;
        }
        // Neither a temporary file nor anything else that is not a member's name, and that
        // name only the last part of the stored path, whichever separator the archiver used.
        check(named.contains(name));
        check(name.find('\\') == std::string::npos && name != "." && name != "..");
        for (unsigned char c : name)
            check(c >= 0x20 && c != 0x7F);
        const Bytes file = readFile(path);
        if (result == PEXOARC_OK) {
            check(isMemberOutput(*lastNamed(ref.members, name), file));
        } else {
            bool whole = false;
            for (const Member& m : ref.members)
                whole = whole || (m.name == name && m.whole && isMemberOutput(m, file));
            check(whole);
        }
    }
    if (result == PEXOARC_OK)
        for (const std::string& name : named)
            check(left.contains(name));
    if (withLock)
        check(left.contains(PEXOARC_LOCK_FILE_NAME));
}

void checkNotified(const Workspace& w, const Reference& ref, const Listener& listener, int result) {
    const auto& notified = listener.members;
    check(notified.size() <= ref.members.size());
    for (std::size_t i = 0; i < notified.size(); ++i) {
        check(notified[i].ended);
        check(notified[i].path == w.folder + "/" + ref.members[i].name);
    }
    if (result != PEXOARC_OK)
        return;
    check(notified.size() == ref.members.size());
    for (std::size_t i = 0; i < notified.size(); ++i) {
        const Member& m = ref.members[i];
        check(notified[i].written == notified[i].fullLength);
        check(notified[i].fullLength == m.data.size() ||
              (m.data.size() >= 128 && notified[i].fullLength == bigEndian32(m.data.data() + 83)));
    }
}

void checkQuickChecks(const Workspace& w, const Reference& ref, int result, bool stopped) {
    check(checkArchive(w.archive, PEXOARC_CHECK_HEADER) == ref.firstHeader);
    const bool full = checkArchive(w.archive, PEXOARC_CHECK_FULL);
    if (full)
        check(ref.complete && (stopped || result == PEXOARC_OK));
    const int count = countMembers(w.archive);
    if (ref.complete)
        check(count == static_cast<int>(ref.members.size()));
    if (ref.headerError)
        check(count == -1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Workspace& w = workspace();
    const std::size_t descriptors = openDescriptors();
    check(writeFile(w.archive, data, size));

    // The bytes are the archive as they are; the rest of the run's set-up comes from their hash.
    const std::uint32_t hash = hashOf(data, size);
    const bool withFolder = (hash >> 8) % 4 != 0;
    const bool withLock = withFolder && (hash >> 10) % 4 != 0;
    const bool trailingSlash = (hash >> 12) % 2 != 0;
    std::optional<unsigned> stopAt;
    if (hash % 5 == 0)
        stopAt = (hash >> 16) % 6;

    struct stat lockStat {};
    if (withFolder)
        prepareFolder(w, withLock, lockStat);

    const Reference ref = readReference(data, size);
    Listener listener(stopAt);
    const MemberNotify notify = [&](unsigned state, void* record) {
        return listener(state, record);
    };
    std::string message;
    const ExtractCommand command{w.archive, trailingSlash ? w.folder + "/" : w.folder};
    const int result = extractArchive(command, notify, message);

    check(!message.empty());
    // A stop at the end of a member that failed comes too late to change the run's result.
    const bool lateStop = listener.stoppedAt == PEXOARC_STATE_END &&
                          !ref.members.at(listener.members.size() - 1).whole;
    if (listener.stoppedAt && !lateStop)
        check(result == PEXOARC_ERROR_STOPPED);
    else if (ref.complete && !lateStop)
        check(result == PEXOARC_OK);
    else
        check(result == PEXOARC_ERROR_ARCHIVE || result == PEXOARC_ERROR_DATA);

    check(entries(w.root) == std::set<std::string>{"archive.lzh", "parent"});
    check(entries(w.parent) == std::set<std::string>{"folder"});
    checkFolder(w, ref, result, withLock, lockStat);
    checkNotified(w, ref, listener, result);
    checkQuickChecks(w, ref, result, listener.stoppedAt.has_value());

    std::error_code error;
    fs::remove_all(w.folder, error);
    check(!error);
    check(openDescriptors() == descriptors);
    return 0;
}
