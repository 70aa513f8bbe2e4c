#pragma once

#include "core/station/DownloadRecord.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pexo {

// The file that keeps one record per download try: JSON Lines, or CSV when its name ends in
// ".csv". Several programs may append to one log: each record goes out in one write on a
// file opened for appending, under an exclusive lock, then reaches the disk (fdatasync,
// FlushFileBuffers) before the next download starts; a crash never leaves part of a record
// before a complete one. Any thread.
class RecordFile;

class RecordLog {
public:
    enum class Format { JsonLines, Csv };

    RecordLog();
    ~RecordLog();
    RecordLog(const RecordLog&) = delete;
    RecordLog& operator=(const RecordLog&) = delete;

    // Opens (creating) the file and, for a CSV file that is new or empty, writes the header
    // row. On failure returns the reason and stays closed.
    std::optional<std::string> open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    Format format() const { return format_; }
    const std::string& path() const { return path_; }

    // Appends one record and waits until it is on the disk. On failure returns the reason.
    std::optional<std::string> append(const DownloadRecord& record);
    // The record as this log writes it.
    std::string text(const DownloadRecord& record) const;

private:
    std::mutex mutex_;
    std::unique_ptr<RecordFile> file_;
    Format format_ = Format::JsonLines;
    std::string path_;
};

} // namespace pexo
