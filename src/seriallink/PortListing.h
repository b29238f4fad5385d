// The ports the port dialog offers, each with the line it shows, and the adapter behind a port: each
// platform's own (PortListingPosix.cpp, PortListingWin32.cpp).
#pragma once

#include "protocol/PortList.h"

#include <QList>
#include <QPair>
#include <QString>

namespace seriallink {

// The ports that exist now, in the dialog's order, as (the text shown, the port's name). On Linux: the USB
// adapters with their product names and USB IDs, their stable names under /dev/serial/by-id, then the
// serial ports by COM name with their devices ("COM1  (/dev/ttyS0)"). On Windows: the COM ports in numeric
// order, each with its adapter's name where Windows gives one ("COM3  USB Serial Port (0403:6001)").
QList<QPair<QString, QString>> ListedPorts(const protocol::PortRoots& roots);
// The adapter behind a port ("FT232R USB UART (0403:6001)"), where the system tells; else empty.
QString AdapterDescription(const protocol::PortRoots& roots, const QString& port);

} // namespace seriallink
