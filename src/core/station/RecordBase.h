#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "core/station/DownloadRecord.h"

#include <cstdint>
#include <span>
#include <string>

namespace pexo {

// What every record of a run shares: this host, the archive (made absolute), the image's
// digest and length, and the write range, sector size and rate the download goes by, as the
// settings copy makes them. `image` may hold the zero tail; only `imageLength` bytes count.
DownloadRecord recordBase(const std::string& archive, std::span<const std::uint8_t> image,
                          std::uint32_t imageLength, const CommSettings& comm,
                          const ProtocolParameters& params);

} // namespace pexo
