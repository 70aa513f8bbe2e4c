#pragma once

namespace pexo {
class DownloadSession;
}

namespace pexo::gui {

class CMainFrame;

// The Download command from the settings copy to the release of the Download button:
// settings into the context, the image length check, the port, the connect prompt, the
// progress dialog, the result dialog, the port closed again, and the release timer. Runs
// synchronously on the GUI thread; the dialogs keep the event loop going meanwhile.
class DownloadCommand {
public:
    explicit DownloadCommand(CMainFrame& frame) : m_frame(frame) {}

    void run();

private:
    // From the connect prompt to the result dialog; the port is open throughout.
    void runConnected(DownloadSession& session);

    CMainFrame& m_frame;
};

} // namespace pexo::gui
