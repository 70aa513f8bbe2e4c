#pragma once

#include "core/serial/PortDescription.h"

#include <QList>
#include <QString>

namespace pexo::gui {

// A device the RS232C dialog offers for a port, and what it is.
struct SerialDeviceEntry {
    QString path;
    QString description;
};

// The serial ports found, as the dialog offers them: the stable names under serial/by-id
// first, then the device nodes, each group in natural order (ttyS2 before ttyS10).
QList<SerialDeviceEntry> listSerialDevices(const DeviceTree& tree = {});

// What the device at `path` is, for the line under the device field.
QString describeSerialDevice(const QString& path, const DeviceTree& tree = {});

} // namespace pexo::gui
