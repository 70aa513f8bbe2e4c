#pragma once

#include <functional>

namespace pexo {

// How a protocol run ended, as told to the front end.
enum class CompletionCommand : int {
    Success = 1, // the end step was reached
    Aborted = 2, // no context, no block buffer or no image; a message has been shown
    Failed = 3,  // DownloadContext::resultCode holds the reason
};

// Receives the one completion command of a run, synchronously on the protocol thread.
using CompletionSink = std::function<void(CompletionCommand)>;

} // namespace pexo
