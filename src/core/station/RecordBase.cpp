#include "core/station/RecordBase.h"

#include "core/app/Version.h"
#include "core/protocol/Checksum.h"
#include "core/protocol/DownloadContext.h"
#include "core/settings/DataSet.h"
#include "core/station/ImageDigest.h"
#include "core/station/StationHost.h"

#include <algorithm>
#include <filesystem>

namespace pexo {

DownloadRecord recordBase(const std::string& archive, std::span<const std::uint8_t> image,
                          std::uint32_t imageLength, const CommSettings& comm,
                          const ProtocolParameters& params) {
    DownloadRecord base;
    base.host = hostName();
    std::error_code error;
    const auto absolute = std::filesystem::absolute(archive, error);
    base.archive = error ? archive : absolute.lexically_normal().string();
    base.imageSha256 = sha256Hex(image.first(std::min<std::size_t>(imageLength, image.size())));
    base.imageLength = imageLength;
    DownloadContext ctx;
    RS232CDataSet(comm, &ctx);
    ParameterDataSet(params, &ctx);
    base.writeFirst = static_cast<std::uint32_t>(ctx.writeFirstAddress);
    base.writeLast = static_cast<std::uint32_t>(ctx.writeLastAddress);
    base.sectorSize = static_cast<std::uint32_t>(sectorSizeBytes(ctx.sectorSizeCode));
    base.baud = ctx.baudRate;
    base.pexoVersion = std::string(pexoVersion());
    return base;
}

} // namespace pexo
