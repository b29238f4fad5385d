// The ports the port dialog offers on Linux: USB adapters with their product names and USB IDs (from sysfs),
// their stable names under /dev/serial/by-id, then the serial ports by their COM names with their devices.
#include "seriallink/PortListing.h"

#include "protocol/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace seriallink {

namespace {

QString readLine(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readLine()).trimmed() : QString();
}

// "FT232R USB UART (0403:6001)" for a USB adapter, from the USB device above its tty in sysfs.
QString usbDescription(const protocol::PortRoots& roots, const QString& ttyName) {
    const QString iface =
        QFileInfo(QString::fromStdString(roots.sysTty) + QLatin1Char('/') + ttyName + QStringLiteral("/device"))
            .canonicalFilePath();
    if (iface.isEmpty()) return {};
    // The tty hangs off a USB interface (ttyACM) or a port below one (ttyUSB): walk up to the device.
    QDir dir(iface);
    for (int up = 0; up < 3; ++up, dir.cdUp()) {
        const QString vid = readLine(dir.filePath(QStringLiteral("idVendor")));
        if (vid.isEmpty()) continue;
        const QString pid = readLine(dir.filePath(QStringLiteral("idProduct")));
        QString product = readLine(dir.filePath(QStringLiteral("product")));
        if (product.isEmpty()) product = readLine(dir.filePath(QStringLiteral("manufacturer")));
        return (product.isEmpty() ? QString() : product + QLatin1Char(' ')) + QStringLiteral("(%1:%2)").arg(vid, pid);
    }
    return {};
}

} // namespace

QString AdapterDescription(const protocol::PortRoots& roots, const QString& port) {
    const QString device = QString::fromStdString(protocol::SerialPort::DevicePathFor(port.toStdString()));
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QString() : usbDescription(roots, QFileInfo(canonical).fileName());
}

QList<QPair<QString, QString>> ListedPorts(const protocol::PortRoots& roots) {
    QList<QPair<QString, QString>> listed;
    // USB adapters first (the usual way to a detector today), with their product names; then the
    // serial ports by their COM names, each with its device path beside it ("COM1  (/dev/ttyS0)").
    QList<QPair<QString, QString>> serialPorts; // shown text, name
    for (const std::string& port : protocol::ListPorts(roots)) {
        const QString name = QString::fromStdString(port);
        int number = -1;
        protocol::SerialPort::DevicePathFor(port, &number);
        if (number >= 0) {
            serialPorts.append(
                {name + QStringLiteral("  (%1/ttyS%2)").arg(QString::fromStdString(roots.dev)).arg(number), name});
            continue;
        }
        const QString description = usbDescription(roots, QFileInfo(name).fileName());
        listed.append({description.isEmpty() ? name : name + QStringLiteral("  ") + description, name});
    }
    // The stable names of USB adapters, which stay the same whichever socket they are plugged into.
    const QDir byId(QString::fromStdString(roots.dev) + QStringLiteral("/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = link.absoluteFilePath();
        if (link.canonicalFilePath().isEmpty()) continue; // its adapter is not plugged in
        const QString target = QFileInfo(link.canonicalFilePath()).fileName();
        const QString description = usbDescription(roots, target);
        listed.append({path + QStringLiteral("  (") + target +
                           (description.isEmpty() ? QString() : QStringLiteral(", ") + description) + QLatin1Char(')'),
                       path});
    }
    return listed + serialPorts;
}

} // namespace seriallink
