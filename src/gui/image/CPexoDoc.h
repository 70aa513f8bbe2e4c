#pragma once

#include "core/image/ImageDocument.h"

#include <QString>

namespace pexo {
class Archiver;
}

namespace pexo::gui {

class CMainFrame;
class RecentFileList;

// The program's single document: the image to be sent, read from an opened archive. It is
// reused for every archive and never saved. Its path is the archive's; its title, which the
// main window's caption shows, is the extracted image's path ("Untitled" without one).
class CPexoDoc {
public:
    CPexoDoc(CMainFrame& frame, Archiver* archiver, RecentFileList* recentFiles);

    // A new, empty, untitled document. The image buffer stays until a new image replaces it.
    bool OnNewDocument();
    // Unpacks the archive and reads the image. False, with every message already shown and
    // the main window holding no image name, when the archive cannot be used.
    bool OnOpenDocument(const QString& archivePath);
    // Records the archive path (made absolute), titles the document with the extracted image's
    // path and, when asked, adds the archive to the recent-file list.
    void SetPathName(const QString& path, bool addToRecentFiles);

    QString GetTitle() const { return m_title; }
    QString GetPathName() const { return m_path; }
    const ImageDocument& image() const { return m_image; }
    Archiver* archiver() const { return m_archiver; }

private:
    void SetTitle(const QString& title);

    CMainFrame& m_frame;
    Archiver* m_archiver;
    RecentFileList* m_recentFiles;
    ImageDocument m_image;
    QString m_path;
    QString m_title;
};

} // namespace pexo::gui
