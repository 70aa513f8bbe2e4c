#include "gui/app/RecentFileList.h"

#include "gui/app/AppTexts.h"

#include <QSettings>

namespace pexo::gui {
namespace {

constexpr char kGroup[] = "Recent File List";

QString entryKey(int index) {
    return QStringLiteral("File%1").arg(index + 1);
}

QSettings openStore() {
    return QSettings(QString::fromLatin1(texts::kRegistryKey),
                     QString::fromLatin1(texts::kAppTitle));
}

} // namespace

RecentFileList::RecentFileList(int capacity) : m_capacity(capacity > 0 ? capacity : 1) {}

void RecentFileList::load() {
    QSettings store = openStore();
    store.beginGroup(QLatin1String(kGroup));
    m_files.clear();
    for (int i = 0; i < m_capacity; ++i) {
        const QString path = store.value(entryKey(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path))
            m_files.append(path);
    }
}

void RecentFileList::add(const QString& path) {
    if (path.isEmpty())
        return;
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > m_capacity)
        m_files.removeLast();
    save();
}

void RecentFileList::save() const {
    QSettings store = openStore();
    store.beginGroup(QLatin1String(kGroup));
    store.remove(QString());
    for (int i = 0; i < m_files.size(); ++i)
        store.setValue(entryKey(i), m_files.at(i));
}

} // namespace pexo::gui
