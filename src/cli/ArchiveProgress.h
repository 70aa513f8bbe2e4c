#pragma once

#include "core/image/ExtractionProgress.h"

namespace pexo::cli {

class Console;

// What pexo-cli shows while the archive is unpacked: the notices alone (another program holds
// the extraction folder), on stderr. The status bar's texts are the desktop program's.
class ArchiveProgress final : public ExtractionProgress {
public:
    explicit ArchiveProgress(Console& console) : console_(console) {}

    void notice(std::string_view text) override;

private:
    Console& console_;
};

} // namespace pexo::cli
