// The port list on Windows: the COM ports the system knows (asked for their default configuration, as
// Windows' own port dialogs do), and what to tell a user whom Windows refused a port.
#include "protocol/PortList.h"

#include "errorlog/TextWin32.h"
#include "protocol/SerialPort.h"

#include <windows.h>

namespace protocol {

namespace {

// Asks for a port's default configuration; true when the system gives one.
bool defaultConfig(const std::wstring& name) {
    COMMCONFIG config{};
    DWORD size = sizeof config;
    config.dwSize = size;
    return ::GetDefaultCommConfigW(name.c_str(), &config, &size) && config.dwSize != 0;
}

} // namespace

bool ProbePort(const std::string& nameIn, const PortRoots& roots) {
    std::string name = nameIn;
    if (!name.empty() && name.back() == ':') name.pop_back();
    if (name.empty()) return false;
    if (!roots.virtualPort.empty() && name == roots.virtualPort) return true;
    const std::wstring wide = errorlog::win32::Wide(name);
    // The port's own name first, then the device's (\\.\COM12).
    return defaultConfig(wide) || defaultConfig(L"\\\\.\\" + wide);
}

std::string MissingPortText(const std::string& name) {
    return "Unable to open port " + name + ": Windows knows no such port on this machine now.";
}

std::vector<std::string> ListPorts(const PortRoots& roots) {
    std::vector<std::string> ports;
    if (!roots.virtualPort.empty()) ports.push_back(roots.virtualPort);
    for (int n = 1; n <= 255; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (ProbePort(name, roots)) ports.push_back(name);
    }
    return ports;
}

std::string PermissionAdvice(const std::string&) {
    // Windows gives a port to whoever opens it first: no group to join.
    return {};
}

std::string OpenFailureMessage(int errorCode, const std::string& errorText, const std::string& devicePath) {
    std::string message = errorText;
    switch (errorCode) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        message += "\nThere is no port " + devicePath + ": check that the adapter is plugged in, then choose its " +
                   "port in SetUp COM.";
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // Windows refuses a port that is open elsewhere as it refuses a forbidden one.
        message += "\nAnother program is using " + devicePath + ": close it, then connect again.";
        break;
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
        message += "\nThe port " + devicePath + " does not respond: unplug the adapter, plug it in again and connect.";
        break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_NAME:
        message += "\n" + devicePath + " is not a serial port: choose the detector's port in SetUp COM.";
        break;
    default: break;
    }
    // Whatever went wrong, the user sees which port it was.
    if (!devicePath.empty() && message.find(devicePath) == std::string::npos) message += "\nPort: " + devicePath;
    return message;
}

} // namespace protocol
