#include "core/settings/DataSet.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/settings/CommLists.h"

namespace pexo {

bool RS232CDataSet(const CommSettings& s, DownloadContext* ctx) {
    if (!ctx)
        return false;
    ctx->portNumber = portNumberFor(s.Port);
    ctx->baudRate = baudRateFor(s.BaudRate);
    ctx->dataBits = dataBitsFor(s.DataBits);
    ctx->parity = parityCodeFor(s.Parity);
    ctx->stopBits = stopBitsCodeFor(s.StopBits);
    ctx->flowControl = static_cast<std::uint8_t>(flowFrom(flowChecksFrom(s.Flow)));
    return true;
}

bool RS232CDataSet(const CommSettings& settings, Host& host) {
    return RS232CDataSet(settings, host.downloadContext());
}

bool ParameterDataSet(const ProtocolParameters& p, DownloadContext* ctx) {
    if (!ctx)
        return false;
    ctx->txIntervalTime = p.Code30;
    ctx->txWaitSurplusTime = p.Code31;
    ctx->rxWriteCompletionTimeout = p.Code51;
    ctx->rxSectorSizeTimeout = p.Code52;
    ctx->rxEraseCompletionTimeout = p.Code53;
    ctx->rxChecksumTimeout = p.Code54;
    ctx->sectorSizeCode = sectorSizeCodeFor(p.Code61);
    ctx->eraseAddress = p.Code62_1;
    ctx->eraseSectorCount = p.Code62_2;
    ctx->writeFirstAddress = p.Code63_1;
    ctx->writeLastAddress = p.Code63_2;
    ctx->fullChecksumEnabled = p.CheckCode72 != 0;
    ctx->fullChecksum = p.Code72;
    return true;
}

bool ParameterDataSet(const ProtocolParameters& params, Host& host) {
    return ParameterDataSet(params, host.downloadContext());
}

} // namespace pexo
