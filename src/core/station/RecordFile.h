#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// The record log's file as the platform keeps it (RecordFilePosix.cpp, RecordFileWindows.cpp):
// opened for appending, written under a lock that the appends of other programs honour, and
// brought to the disk before an append returns.
class RecordFile {
public:
    // Opens (creating) a regular file; anything else is refused with the reason in `why`.
    static std::unique_ptr<RecordFile> open(const std::string& path, std::string& why);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Under the lock: `ifEmpty` when the file is still empty, then `bytes`, as one write. A
    // write cut short is taken back, or at least ended with a line end, so that no later
    // record follows part of this one on its line. On failure returns the reason.
    std::optional<std::string> append(std::string_view ifEmpty, std::string_view bytes);

private:
    struct State;
    explicit RecordFile(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace pexo
