#pragma once

#include <QString>
#include <QStringList>

namespace pexo::gui {

// The serial devices the RS232C dialog offers for a port: the stable names under
// serial/by-id first, then ttyUSB*, ttyACM* and ttyS*, each group in natural order (ttyS2
// before ttyS10). `deviceRoot` is "/dev" in the program; tests give their own folder.
QStringList listSerialDevices(const QString& deviceRoot = QStringLiteral("/dev"));

} // namespace pexo::gui
