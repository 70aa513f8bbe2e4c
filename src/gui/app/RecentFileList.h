#pragma once

#include <QString>
#include <QStringList>

namespace pexo::gui {

// The archives opened last, newest first, kept under QSettings("Oskel Products", "Pexo").
// No menu shows them; they are kept as the desktop's record of what was opened.
class RecentFileList {
public:
    explicit RecentFileList(int capacity);

    void load();
    // Puts the path first (once), drops what no longer fits, and stores the list at once, so
    // that a program ended by force keeps it too.
    void add(const QString& path);

    QStringList files() const { return m_files; }
    int capacity() const { return m_capacity; }

private:
    void save() const;

    int m_capacity;
    QStringList m_files;
};

} // namespace pexo::gui
