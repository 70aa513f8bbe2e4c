#include "gui/image/CPexoDoc.h"

#include "core/image/OpenArchive.h"
#include "gui/app/AppTexts.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/RecentFileList.h"

#include <QFile>
#include <QFileInfo>

namespace pexo::gui {

CPexoDoc::CPexoDoc(CMainFrame& frame, Archiver* archiver, RecentFileList* recentFiles)
    : m_frame(frame), m_archiver(archiver), m_recentFiles(recentFiles) {}

bool CPexoDoc::OnNewDocument() {
    m_path.clear();
    SetTitle(QString::fromLatin1(texts::kUntitled));
    return true;
}

bool CPexoDoc::OnOpenDocument(const QString& archivePath) {
    const std::string path = QFile::encodeName(archivePath).toStdString();
    return openArchive(m_image, path, {m_frame, m_archiver, &m_frame});
}

void CPexoDoc::SetPathName(const QString& path, bool addToRecentFiles) {
    m_path = QFileInfo(path).absoluteFilePath();
    SetTitle(QFile::decodeName(QByteArray::fromStdString(m_frame.imageFile())));
    if (addToRecentFiles && m_recentFiles)
        m_recentFiles->add(m_path);
}

void CPexoDoc::SetTitle(const QString& title) {
    m_title = title;
    m_frame.setDocumentTitle(title);
}

} // namespace pexo::gui
