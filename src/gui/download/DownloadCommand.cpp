#include "gui/download/DownloadCommand.h"

#include "core/download/DownloadSession.h"
#include "core/settings/CommLists.h"
#include "core/settings/DataSet.h"
#include "core/settings/ParameterChecks.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/MessageBox.h"
#include "gui/download/CUConnectModeDialog.h"
#include "gui/download/CUDownloadDialog.h"
#include "gui/download/CUDownloadEndDialog.h"
#include "gui/download/CUDownloadErrorDialog.h"
#include "gui/download/DownloadTexts.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"

namespace pexo::gui {
namespace {

void showStop(CMainFrame& frame, std::string_view text) {
    showMessageBox(&frame, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                   MessageIcon::Stop);
}

} // namespace

void DownloadCommand::run() {
    CommSettings comm = m_frame.rs232cDialog().settings();
    comm.Flow = flowFrom(m_frame.rs232cDialog().flowChecks());
    // The device paths in force are the dialog's, also when the file could not keep them.
    if (DownloadContext* ctx = m_frame.downloadContext())
        ctx->devicePath = m_frame.rs232cDialog().devices().pathFor(portNumberFor(comm.Port));

    // Declared before anything can leave this function: whatever happens below, its
    // destructor stops the protocol thread and closes the port.
    DownloadSession session(m_frame);
    std::string why;
    switch (session.prepare(m_frame.parameterDialog().parameters(), comm, &why)) {
    case DownloadSession::Setup::Ready:
        break;
    case DownloadSession::Setup::ParameterDataSetFailed:
        showStop(m_frame, kParameterDataSetFailedText);
        return;
    case DownloadSession::Setup::Rs232cDataSetFailed:
        showStop(m_frame, kRs232cDataSetFailedText);
        return;
    case DownloadSession::Setup::WriteRangeInverted:
        showStop(m_frame, kWriteRangeInvertedMessage);
        return;
    case DownloadSession::Setup::FileLengthError: {
        // The port was never opened: the command stays free, F5 works at once.
        CUDownloadErrorDialog report(m_frame.downloadContext(), m_frame.imageSize(), &m_frame);
        report.exec();
        return;
    }
    case DownloadSession::Setup::PortOpenFailed:
        // The system's line, then the reason the command line gives too.
        showStop(m_frame, std::string(texts::kConnectionFailed) + (why.empty() ? "" : "\n" + why));
        return;
    }

    m_frame.setDownloading(true); // the Download button shows pressed before the prompt
    runConnected(session);
    session.close();
    if (m_frame.StartReleaseTimer(CMainFrame::kReleaseInterval) == 0)
        m_frame.setDownloading(false);
}

void DownloadCommand::runConnected(DownloadSession& session) {
    {
        CUConnectModeDialog prompt(session, &m_frame);
        if (prompt.exec() != CUConnectModeDialog::kContinue)
            return;
    }
    int result = CUDownloadDialog::kCancelled;
    {
        CUDownloadDialog progress(session, m_frame, &m_frame);
        result = progress.exec();
    }
    if (result == CUDownloadDialog::kNormalEnd) {
        CUDownloadEndDialog report(m_frame.downloadContext(), &m_frame);
        report.exec();
    } else if (result == CUDownloadDialog::kErrorEnd) {
        CUDownloadErrorDialog report(m_frame.downloadContext(), m_frame.imageSize(), &m_frame);
        report.exec();
    }
}

} // namespace pexo::gui
