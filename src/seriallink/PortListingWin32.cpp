// The ports the port dialog offers on Windows: the COM ports in numeric order, each with its adapter's name and
// USB IDs where Windows gives them (its device manager's ports class: "USB Serial Port (COM3)", hardware ID
// "FTDIBUS\VID_0403+PID_6001...").
#include "seriallink/PortListing.h"

#include "protocol/SerialPort.h"

#include <QHash>
#include <QRegularExpression>
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

namespace seriallink {

namespace {

QString registryText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[1024] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer - sizeof(wchar_t), nullptr))
        return {};
    return QString::fromWCharArray(buffer); // (a multi-string: its first string)
}

// The adapters of the ports Windows knows, by their COM names: "USB Serial Port (0403:6001)".
QHash<QString, QString> adapters() {
    QHash<QString, QString> found;
    const HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        QString port;
        if (const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            key != INVALID_HANDLE_VALUE) {
            wchar_t name[64] = {};
            DWORD size = sizeof name - sizeof(wchar_t);
            if (::RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) ==
                ERROR_SUCCESS)
                port = QString::fromWCharArray(name).toUpper();
            ::RegCloseKey(key);
        }
        if (!port.startsWith(QLatin1String("COM"))) continue;
        // The friendly name without the "(COM3)" Windows adds to it.
        QString name = registryText(devices, device, SPDRP_FRIENDLYNAME);
        if (name.isEmpty()) name = registryText(devices, device, SPDRP_DEVICEDESC);
        name.remove(
            QRegularExpression(QStringLiteral("\\s*\\(COM\\d+\\)\\s*$"), QRegularExpression::CaseInsensitiveOption));
        const QRegularExpressionMatch ids = QRegularExpression(QStringLiteral("VID_([0-9A-F]{4}).PID_([0-9A-F]{4})"),
                                                               QRegularExpression::CaseInsensitiveOption)
                                                .match(registryText(devices, device, SPDRP_HARDWAREID));
        if (ids.hasMatch())
            name += (name.isEmpty() ? QString() : QStringLiteral(" ")) +
                    QStringLiteral("(%1:%2)").arg(ids.captured(1).toLower(), ids.captured(2).toLower());
        found.insert(port, name.trimmed());
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return found;
}

} // namespace

QString AdapterDescription(const protocol::PortRoots&, const QString& port) {
    const int number = protocol::SerialPort::ComNumber(port.toStdString());
    return number > 0 ? adapters().value(QStringLiteral("COM%1").arg(number)) : QString();
}

QList<QPair<QString, QString>> ListedPorts(const protocol::PortRoots& roots) {
    const QHash<QString, QString> described = adapters();
    QList<QPair<QString, QString>> listed;
    for (const std::string& port : protocol::ListPorts(roots)) {
        const QString name = QString::fromStdString(port);
        const QString adapter = described.value(name.toUpper());
        listed.append({adapter.isEmpty() ? name : name + QStringLiteral("  ") + adapter, name});
    }
    return listed;
}

} // namespace seriallink
