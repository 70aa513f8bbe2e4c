#include "core/station/RecordLog.h"

#include "core/station/RecordFile.h"

#include <algorithm>
#include <cctype>

namespace pexo {
namespace {

bool endsWithCsv(const std::string& path) {
    constexpr std::string_view suffix = ".csv";
    if (path.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), path.end() - suffix.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

} // namespace

RecordLog::RecordLog() = default;
RecordLog::~RecordLog() = default;

std::optional<std::string> RecordLog::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_)
        return "the log is already open";
    std::string why;
    auto file = RecordFile::open(path, why);
    if (!file)
        return why;
    const Format format = endsWithCsv(path) ? Format::Csv : Format::JsonLines;
    // A new or empty CSV file gets its header, under the lock: another program may be
    // writing it right now.
    if (format == Format::Csv) {
        if (auto failed = file->append(recordCsvHeader(), {}))
            return failed;
    }
    file_ = std::move(file);
    path_ = path;
    format_ = format;
    return std::nullopt;
}

std::string RecordLog::text(const DownloadRecord& record) const {
    return format_ == Format::Csv ? recordCsvRow(record) : recordJsonLine(record);
}

std::optional<std::string> RecordLog::append(const DownloadRecord& record) {
    const std::string bytes = text(record);
    std::lock_guard lock(mutex_);
    if (!file_)
        return "the log is not open";
    return file_->append({}, bytes);
}

} // namespace pexo
