#include "gui/settings/SerialDeviceList.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace pexo::gui {
namespace {

QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

QList<SerialDeviceEntry> listSerialDevices(const DeviceTree& tree) {
    const std::vector<PortDescription> ports = listSerialPorts(tree);
    std::vector<const PortDescription*> linked;
    for (const PortDescription& port : ports)
        if (!port.byId.empty())
            linked.push_back(&port);
    std::sort(linked.begin(), linked.end(),
              [](const auto* a, const auto* b) { return naturalLess(a->byId, b->byId); });
    QList<SerialDeviceEntry> entries;
    for (const PortDescription* port : linked)
        entries.append({fromPath(port->byId), QFileInfo(fromPath(port->path)).fileName() +
                                                  QStringLiteral(": ") +
                                                  fromPath(port->identity())});
    for (const PortDescription& port : ports)
        entries.append({fromPath(port.path), fromPath(port.identity())});
    return entries;
}

QString describeSerialDevice(const QString& path, const DeviceTree& tree) {
    const auto port = describePort(QFile::encodeName(path.trimmed()).toStdString(), tree);
    if (!port)
        return QStringLiteral("Not found on this computer");
    return fromPath(port->summary());
}

} // namespace pexo::gui
