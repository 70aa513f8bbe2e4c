#include "gui/settings/SerialDeviceList.h"

#include <QCollator>
#include <QDir>

#include <algorithm>

namespace pexo::gui {
namespace {

QStringList entries(const QString& folder, const QString& pattern) {
    const QDir dir(folder);
    QStringList names = dir.entryList({pattern}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    QStringList paths;
    for (const QString& name : names)
        paths.append(dir.filePath(name));
    return paths;
}

} // namespace

QStringList listSerialDevices(const QString& deviceRoot) {
    QStringList devices = entries(deviceRoot + QStringLiteral("/serial/by-id"), QStringLiteral("*"));
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "ttyS*"})
        devices += entries(deviceRoot, QString::fromLatin1(pattern));
    return devices;
}

} // namespace pexo::gui
