#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"

#include <string_view>

namespace pexo {

class Host;
struct DownloadContext;

// What the download command shows when a copy finds no context.
inline constexpr std::string_view kRs232cDataSetFailedText = "RS232C data set failed.";
inline constexpr std::string_view kParameterDataSetFailedText = "Parameter data set failed.";

// Copies the serial settings into the context as the port uses them: list positions become
// physical values (CommLists.h), positions outside a list take their fallbacks, and the flow
// bits beyond the three boxes are dropped. False only when there is no context. Call before
// the port opens: the copy is not safe against running workers.
bool RS232CDataSet(const CommSettings& settings, DownloadContext* ctx);
bool RS232CDataSet(const CommSettings& settings, Host& host);

// Copies the protocol parameters into the context with no range check; the sector-size
// position becomes its code (4, 1024 bytes, for any position outside the list). False only
// when there is no context. Same timing rule as RS232CDataSet.
bool ParameterDataSet(const ProtocolParameters& params, DownloadContext* ctx);
bool ParameterDataSet(const ProtocolParameters& params, Host& host);

} // namespace pexo
