#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pexo {

// What an open shows while the archiver runs: the GUI's status bar and main window, the
// command line's progress line. Every operation does nothing unless overridden.
class ExtractionProgress {
public:
    virtual ~ExtractionProgress() = default;

    // The status bar's message pane.
    virtual void setStatusText(std::string_view /*text*/) {}
    // A word to the operator on why the open is taking long (it waits for another program).
    // Shown in the status bar's pane unless a front end has a better place for it.
    virtual void notice(std::string_view text) { setStatusText(text); }
    // The main window is disabled while the archiver runs.
    virtual void setWindowEnabled(bool /*enabled*/) {}
    // Shows the progress bar behind `text` (also made the pane's text when given), or hides it,
    // resetting its position to 0 and emptying the pane.
    virtual void showProgress(std::optional<std::string_view> /*text*/, bool /*show*/) {}
    // The bar's range is 0..upper, in units of 100 bytes.
    virtual void setProgressRange(std::uint32_t /*upper*/) {}
    virtual void setProgressPosition(std::uint32_t /*position*/) {}
};

} // namespace pexo
