#include "core/settings/ProfileFile.h"

#include "core/settings/AtomicFile.h"

#include <mutex>

namespace pexo {

IniDocument readProfile(const std::string& path) {
    FileBytes file = readWholeFile(path);
    return IniDocument(file.status == FileReadStatus::Read ? std::move(file.bytes) : std::string{});
}

bool writeProfileStrings(const std::string& path, std::string_view section,
                         std::span<const ProfileEntry> entries) {
    if (entries.empty())
        return true;
    // Two writers in one process must not both read the old text and lose one's keys.
    static std::mutex writeMutex;
    std::lock_guard lock(writeMutex);

    FileBytes file = readWholeFile(path);
    // Rewriting a file we could not read would throw its content away.
    if (file.status == FileReadStatus::Failed)
        return false;
    const bool existed = file.status == FileReadStatus::Read;
    IniDocument doc(file.bytes);
    for (const auto& entry : entries)
        if (!doc.set(section, entry.key, entry.value))
            return false;
    // The file already says exactly this: nothing to replace.
    if (existed && doc.text() == file.bytes)
        return true;
    return replaceWholeFile(path, doc.text());
}

} // namespace pexo
